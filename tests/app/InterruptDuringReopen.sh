#!/usr/bin/env bash
# Starts an updater binary on a firmware file, waits until its output shows
# the reopen wait before the flash ("Set FW Status as 0"), sends SIGINT as a
# terminal's Ctrl-C does, and expects exit code 1 with one interruption line,
# the last, and no block written.
# Usage: InterruptDuringReopen.sh <binary> <firmware file>
set -uo pipefail
binary="$1"
image="$2"
expected="Update interrupted while waiting for the amplifier to restart: the amplifier is in its bootloader; running the updater again finishes the update"

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
fail() {
  echo "$1"
  cat "$out"
  exit 1
}

"$binary" --path "$image" >"$out" 2>&1 &
pid=$!
deadline=$((SECONDS + 60))
until grep -qx "Set FW Status as 0" "$out"; do
  kill -0 "$pid" 2>/dev/null || fail "the updater ended before the reopen wait"
  if ((SECONDS >= deadline)); then
    kill -KILL "$pid"
    fail "no reopen wait within 60 s"
  fi
  sleep 0.05
done
kill -INT "$pid"
wait "$pid"
code=$?

((code == 1)) || fail "exit code $code, expected 1"
[[ "$(tail -n 1 "$out")" == "$expected" ]] || fail "the last line is not: $expected"
ends=$(grep -c -e '^Update interrupted' -e '^Firmware upgrade' -e '^The amplifier did not come back' "$out")
((ends == 1)) || fail "$ends lines end the run, expected 1"
if grep -q '^Updating: ' "$out"; then
  fail "a block was written after the interruption"
fi
cat "$out"

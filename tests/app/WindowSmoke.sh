#!/usr/bin/env bash
# Starts an updater binary in window mode under xvfb-run and waits, up to a
# deadline, until its start has led where it should:
#   ports     JUCE's MIDI ports (none here): the device poll has run. Each
#             poll lists the ports, which opens the ALSA sequencer; strace
#             shows the open, whether or not the sequencer exists.
#   emulated  the demo's amplifier: the first poll's discovery found it, the
#             connect's scan found it again, and the device view's read got
#             to the firmware information with no failed read before it.
# Then it ends the program the way a terminal does (SIGINT) and expects a clean
# exit with code 0 while it was still running.
# Usage: WindowSmoke.sh <binary> <ports|emulated> <deadline seconds>
# Exits 77 (skipped) for "ports" where strace is missing.
set -uo pipefail

if [ "${1:-}" != "--on-display" ]; then
  if [ "${2:-}" = "ports" ] && ! command -v strace >/dev/null; then
    echo "skipped: no strace to see the poll"
    exit 77
  fi
  exec xvfb-run -a -s "-screen 0 800x900x24" bash "$0" --on-display "$@"
fi

binary="$2"
mode="$3"
limit="$4"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
out="$dir/stdout"
trace="$dir/trace"

case "$mode" in
  ports)
    # The traced shell writes its pid, then becomes the binary. LeakSanitizer
    # cannot run under ptrace, so an ASan build skips only its leak check.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" strace -f -qq -e trace=openat -o "$trace" \
      bash -c 'echo $$ >"$0"; exec "$1"' "$dir/pid" "$binary" >"$out" 2>&1 &
    ;;
  emulated)
    bash -c 'echo $$ >"$0"; exec "$1"' "$dir/pid" "$binary" >"$out" 2>&1 &
    ;;
  *)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
launcher=$!

reached() {
  case "$mode" in
    ports) grep -q '"/dev/snd/seq"' "$trace" 2>/dev/null ;;
    emulated)
      [ "$(grep -c '^Found MIDI IN device:' "$out" 2>/dev/null)" -ge 2 ] &&
        grep -q '^Sent GetFwInfo command$' "$out"
      ;;
  esac
}

fail() {
  echo "$1"
  echo "--- output"
  cat "$out"
  if [ -s "$dir/pid" ]; then kill -INT "$(cat "$dir/pid")"; else kill "$launcher"; fi 2>/dev/null
  wait "$launcher"
  exit 2
}

deadline=$((SECONDS + limit))
until [ -s "$dir/pid" ] && reached; do
  kill -0 "$launcher" 2>/dev/null || fail "the window ended by itself"
  [ "$SECONDS" -lt "$deadline" ] || fail "not reached within ${limit} s"
  sleep 0.1
done
pid=$(cat "$dir/pid")

if [ "$mode" = emulated ] && grep -q '^Cannot read' "$out"; then
  fail "a device-information read failed"
fi
kill -0 "$pid" 2>/dev/null || fail "the window ended by itself"
kill -INT "$pid"
wait "$launcher"
code=$?
cat "$out"
if [ "$code" -ne 0 ]; then
  echo "exit code $code after SIGINT"
  exit 1
fi

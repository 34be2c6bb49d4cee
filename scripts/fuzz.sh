#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and replays their seed corpora.
# Usage: scripts/fuzz.sh [build-dir] [seconds-per-harness]
# With seconds > 0 each harness also fuzzes for that long.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-fuzz}"
seconds="${2:-0}"

bash "$root/scripts/install-deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja \
  -DTOLVO_WITH_JUCE=OFF -DTOLVO_BUILD_TESTS=OFF -DTOLVO_BUILD_BENCH=OFF \
  -DTOLVO_BUILD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"

shopt -s nullglob
status=0
for harness in "$build"/fuzz/fuzz_*; do
  [ -x "$harness" ] || continue
  name="$(basename "$harness")"
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  mkdir -p "$corpus"
  # A run that hangs fails as a timeout. The stream cutter takes inputs past
  # its 64 KiB buffer limit, so its trimming is fuzzed too.
  options=(-timeout=10)
  [ "$name" = fuzz_stream_cutter ] && options+=(-max_len=262144)
  # Long enough inputs for the LZW round trip to fill and reset its dictionary.
  [ "$name" = fuzz_lzw_round_trip ] && options+=(-max_len=65536)
  echo "== $name: replaying $(ls "$corpus" | wc -l) seeds"
  "$harness" "${options[@]}" -runs=0 "$corpus" || status=1
  if [ "$seconds" -gt 0 ]; then
    work="$build/corpus/${name#fuzz_}"
    mkdir -p "$work"
    "$harness" "${options[@]}" -max_total_time="$seconds" -artifact_prefix="$build/$name-" "$work" "$corpus" || status=1
  fi
done
exit $status

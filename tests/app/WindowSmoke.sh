#!/usr/bin/env bash
# Starts an updater binary in window mode under xvfb-run, lets its first
# device poll run, then ends it the way a terminal does (SIGINT) and expects a
# clean exit with code 0 while it was still running.
# Usage: WindowSmoke.sh <binary> [seconds]
set -uo pipefail
binary="$1"
seconds="${2:-3}"
xvfb-run -a -s "-screen 0 800x900x24" bash -c '
  "$1" & pid=$!
  sleep "$2"
  if ! kill -0 "$pid" 2>/dev/null; then echo "the window ended by itself"; exit 2; fi
  kill -INT "$pid"
  wait "$pid"
' smoke "$binary" "$seconds"

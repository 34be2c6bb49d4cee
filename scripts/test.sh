#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# Usage: scripts/test.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
shift || true

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@"
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

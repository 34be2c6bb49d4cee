#!/usr/bin/env bash
# Installs what is missing, builds the demo updater (the real application on
# one emulated amplifier that runs an older firmware) and flashes the
# generated firmware image into it from the command line, printing the real
# progress lines. The exit code is the updater's: 0 when the firmware was
# written.
# Usage: scripts/demo.sh [build-dir]
# The window instead:  xvfb-run -a <build-dir>/app/tolvo_firmware_updater_demo_artefacts/RelWithDebInfo/tolvo-firmware-updater-demo
# (or without xvfb-run on a desktop).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tolvo_firmware_updater_demo tolvo_resources

image="$(grep -m1 '^TOLVO_FIRMWARE_IMAGE_PATH:' "$build/CMakeCache.txt" | cut -d= -f2-)"
demo="$(find "$build/app/tolvo_firmware_updater_demo_artefacts" -type f -name tolvo-firmware-updater-demo | head -n1)"
echo "== $demo --path $image"
exec "$demo" --path "$image"

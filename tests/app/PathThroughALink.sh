#!/usr/bin/env bash
# "--path link/../firmware.bin", relative to the working directory, where link
# is a symbolic link to a folder elsewhere: the file flashed is the one the
# system finds by that name (the image beside the link's target), not
# ./firmware.bin, a truncated image that removing "link/.." as text would
# name.
# Usage: PathThroughALink.sh <binary> <firmware image>
set -uo pipefail
binary="$1"
image="$2"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/elsewhere/inner" "$dir/work"
cp "$image" "$dir/elsewhere/firmware.bin"
head -c 1150 "$image" >"$dir/work/firmware.bin"
ln -s ../elsewhere/inner "$dir/work/link"

cd "$dir/work" || exit 1
"$binary" --path link/../firmware.bin >"$dir/out" 2>&1
code=$?
cat "$dir/out"
((code == 0)) || { echo "exit code $code, expected 0"; exit 1; }
[[ "$(tail -n 1 "$dir/out")" == "Firmware upgraded!" ]] || { echo "the last line is not: Firmware upgraded!"; exit 1; }

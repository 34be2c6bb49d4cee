#!/usr/bin/env bash
# Installs every Debian package needed to build, test, benchmark and fuzz the
# project. Idempotent: installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  juce-modules-source
  libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev
  libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev libgl-dev
  libjsoncpp-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libmsgpack-dev
  clang-14 libclang-rt-14-dev
  fonts-roboto-unhinted
  xvfb xauth strace
  ncompress
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

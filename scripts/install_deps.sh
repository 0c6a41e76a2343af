#!/usr/bin/env bash
# Installs what building and testing QUORAX needs on Debian 12: compiler and
# build tools, GoogleTest, Qt 6 with OpenGL widgets, GLU, zlib, Xvfb with
# Mesa's software renderer for the viewer's tests, and clang with its
# runtime libraries (libFuzzer, sanitizers) for the fuzz targets.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev
  qt6-base-dev libqt6opengl6-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  zlib1g-dev
  xvfb xauth
  clang libclang-rt-14-dev
  python3-numpy
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

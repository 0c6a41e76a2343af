#!/usr/bin/env bash
# Installs what building and testing QUORAX needs on Debian 12: compiler and
# build tools, GoogleTest, Qt 6 with OpenGL widgets, GLU, CGAL, zlib, oneTBB, and Xvfb with
# Mesa's software renderer for the viewer's tests; clang with its runtime
# libraries (libFuzzer, sanitizers) for the fuzz targets; VTK's Python readers and
# admesh, which judge the exported files; SLURM, munge and GNU parallel, which
# the tests of quorax-series run frames on; APBS and pdb2pqr, which
# quorax-prepare runs, with APBS's example molecules for its tests; help2man
# and dpkg-dev for the manual pages and the Debian packages.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev
  qt6-base-dev libqt6opengl6-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  libcgal-dev
  zlib1g-dev libtbb-dev
  xvfb xauth
  clang libclang-rt-14-dev
  python3-numpy
  python3-vtk9 admesh slurm-wlm munge parallel apbs pdb2pqr apbs-data
  help2man dpkg-dev file man-db bash-completion
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

#!/usr/bin/env bash
# Builds the Debian packages from a clean build of the sources:
#   scripts/make_deb.sh [OUT_DIR [BUILD_DIR]]
# writes quorax_<version>_<arch>.deb (console programs) and
# quorax-viewer_<version>_<arch>.deb (the viewer) into OUT_DIR (default: the
# current folder). Without BUILD_DIR it configures and builds in a fresh
# folder; with it, it packages that (Release) build, building what is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)"
"$root/scripts/install_deps.sh"
if [[ -n ${2:-} ]]; then
  build="$(cd "$2" && pwd)"
else
  build="$(mktemp -d "${TMPDIR:-/tmp}/quorax-deb.XXXXXX")"
  trap 'rm -rf "$build"' EXIT
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUORAX_BUILD_TESTS=OFF -DQUORAX_BUILD_BENCH=OFF
fi
cmake --build "$build"
rm -f "$build"/quorax*.deb
(cd "$build" && cpack -G DEB)
cp "$build"/*.deb "$out"/
ls -1 "$out"/quorax*.deb

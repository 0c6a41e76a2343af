#!/usr/bin/env bash
# Builds everything and runs the whole test suite; the viewer's tests need a
# display, which Xvfb provides.
#   scripts/run_tests.sh [BUILD_DIR [extra cmake options...]]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
shift || true
"$root/scripts/install_deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build" --output-on-failure --timeout 300

#!/usr/bin/env bash
# Builds quorax and runs it on the bundled example molecule with the usage
# example's parameters; prints where the lines file went.
#   scripts/run_example.sh [OUTPUT]   (default: fas2_lines.txt in the current folder)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$PWD/fas2_lines.txt}"
"$root/scripts/install_deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target quorax
"$root/build/tool/quorax" "$root/examples/fas2.obj" "$root/examples/fas2.dx" "$out" 0.01 0.0 45 1 3.0
echo "lines file: $(realpath "$out")"

#!/usr/bin/env bash
# Builds the tool in Release mode, generates the large synthetic case (160³
# grid, ~400 000 triangles) once, and times every phase on the bundled
# example and on the large case.
#   bench/run.sh [REPEATS]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-bench"
repeats="${1:-5}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORAX_BUILD_VIEWER=OFF -DQUORAX_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" pipeline_bench quorax >/dev/null
if [[ ! -f "$here/data/large.dx" || ! -f "$here/data/large.obj" ]]; then
  echo "generating the large case in bench/data ..."
  /usr/bin/python3 "$here/make_large_case.py" "$here/data"
fi
echo "== bundled example (fasciculin-2, 65³ grid)"
"$build/bench/pipeline_bench" "$root/examples/fas2.obj" "$root/examples/fas2.dx" "$repeats"
echo
echo "== large synthetic case (160³ grid, ~400 000 triangles)"
"$build/bench/pipeline_bench" "$here/data/large.obj" "$here/data/large.dx" "$repeats"

#!/usr/bin/env bash
# QUORAX beside its peers, on the same inputs in the same run: PyMOL's own
# field lines of the map (load + gradient) and the pipeline a VTK user would
# script (DX into vtkImageData, vtkImageGradient, vtkOBJReader,
# vtkStreamTracer from as many surface seeds as QUORAX traces lines, both
# directions). Prints each one's wall time and QUORAX's speed-up over it.
#   bench/peers.sh [MESH.obj GRID.dx]     (default: the large bench case)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-bench"
py=/usr/bin/python3
if (($# >= 2)); then
  mesh=$1 grid=$2
else
  if [[ ! -f "$here/data/large.dx" || ! -f "$here/data/large.obj" ]]; then
    echo "generating the large case in bench/data ..."
    "$py" "$here/make_large_case.py" "$here/data"
  fi
  mesh="$here/data/large.obj" grid="$here/data/large.dx"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORAX_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" quorax >/dev/null
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

# Wall time of a command, best of 3, in seconds.
best_of_3() {
  local best="" t
  for _ in 1 2 3; do
    local s e
    s=$(date +%s.%N)
    "$@" >"$out/last.txt" 2>&1
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [[ -z $best ]] || (($(echo "$t < $best" | bc -l))); then best=$t; fi
  done
  printf '%.4f' "$best"
}

quorax_time=$(QUORAX_SEED=1 best_of_3 "$build/tool/quorax" "$mesh" "$grid" "$out/lines.txt" 0.01 0.0 45 1 3.0)
lines=$(grep -c '^n' "$out/lines.txt" || true)
echo "QUORAX          $(printf '%8.4f' "$quorax_time") s  ($lines lines)"

pymol_time=$(best_of_3 "$py" "$here/peers_pymol.py" "$grid")
echo "PyMOL gradient  $(printf '%8.4f' "$pymol_time") s  speed-up $(echo "$pymol_time / $quorax_time" | bc -l | xargs printf '%.1f')x"

vtk_time=$(best_of_3 "$py" "$here/peers_vtk.py" "$mesh" "$grid" "$lines")
echo "VTK pipeline    $(printf '%8.4f' "$vtk_time") s  speed-up $(echo "$vtk_time / $quorax_time" | bc -l | xargs printf '%.1f')x  ($(head -n 1 "$out/last.txt"))"

#!/usr/bin/env bash
# Slices the tubes of the bundled example with PrusaSlicer's command line, as
# a printer would get them (1 mm per Å, supports and a two-layer raft: the
# lines float in the air). Skipped when prusa-slicer is not installed
# (Debian package prusa-slicer; about 100 MB, so it is not in install_deps.sh).
#   bench/slice_tubes.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
if ! command -v prusa-slicer >/dev/null; then
  echo "prusa-slicer not installed: skipped"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
QUORAX_SEED=1 "$build/tool/quorax" "$root/examples/fas2.obj" "$root/examples/fas2.dx" "$work/lines.txt" \
  0.01 0.0 45 1 3.0 --tubes "$work/tubes.stl" >/dev/null
start=$(date +%s.%N)
prusa-slicer --export-gcode --center 100,100 --support-material --raft-layers 2 \
  --output "$work/tubes.gcode" "$work/tubes.stl" >"$work/slice.log" 2>&1 || {
  tail -5 "$work/slice.log"
  echo "slicing failed"
  exit 1
}
end=$(date +%s.%N)
if grep -qi "repair\|manifold\|open edge" "$work/slice.log"; then
  grep -i "repair\|manifold\|open edge" "$work/slice.log"
  echo "the slicer had to repair the tubes"
  exit 1
fi
printf 'sliced in %.1f s: %s\n' "$(echo "$end - $start" | bc)" "$(grep -m1 'estimated printing time (normal mode)' "$work/tubes.gcode" | sed 's/^; //')"
grep -m1 'filament used \[mm\]' "$work/tubes.gcode" | sed 's/^; //'

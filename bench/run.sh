#!/usr/bin/env bash
# Builds the tool in Release mode, generates the large synthetic case (160³
# grid, ~400 000 triangles) once, and times every phase on the bundled
# example, on the large case (and there the whole process against wc -l) and
# on a flat case of nearly equal face powers (make_flat_case.py), the
# exports against the lines file, and quorax-series over 50 frames of the
# example; then, when the viewer can be built (Qt 6, GLU, CGAL) and xvfb-run
# is there, the viewer's frame time on both.
#   bench/run.sh [REPEATS]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-bench"
repeats="${1:-5}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORAX_BUILD_VIEWER=ON -DQUORAX_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" pipeline_bench export_bench quorax quorax-series >/dev/null
if [[ ! -f "$here/data/large.dx" || ! -f "$here/data/large.obj" ]]; then
  echo "generating the large case in bench/data ..."
  /usr/bin/python3 "$here/make_large_case.py" "$here/data"
fi
echo "== bundled example (fasciculin-2, 65³ grid)"
"$build/bench/pipeline_bench" "$root/examples/fas2.obj" "$root/examples/fas2.dx" "$repeats"
echo
echo "== large synthetic case (160³ grid, ~400 000 triangles)"
"$build/bench/pipeline_bench" "$here/data/large.obj" "$here/data/large.dx" "$repeats"
echo
echo "== the whole quorax process against wc -l, large synthetic case"
"$here/speed.sh" "$build/tool/quorax" "$here/data/large.obj" "$here/data/large.dx" "$repeats"
if [[ ! -f "$here/data/flat.dx" || ! -f "$here/data/flat.obj" ]]; then
  /usr/bin/python3 "$here/make_flat_case.py" "$here/data"
fi
echo
echo "== nearly equal face powers (~100 000 faces over a constant grid: the seeding's draw bound)"
"$build/bench/pipeline_bench" "$here/data/flat.obj" "$here/data/flat.dx" "$repeats"
echo
echo "== exports against the lines file, large synthetic case"
"$build/bench/export_bench" "$here/data/large.obj" "$here/data/large.dx" "$repeats"
echo
echo "== quorax-series, 50 frames of the bundled example"
"$here/series_bench.sh" "$build/tool" 50 "$repeats"
echo
echo "== faithful lines against the default run, large synthetic case"
"$here/faithful_bench.sh" "$build/tool/quorax" "$here/data/large.obj" "$here/data/large.dx" "$repeats"
if ninja -C "$build" -t query viewer_frame_bench >/dev/null 2>&1 && command -v xvfb-run >/dev/null; then
  echo
  echo "== viewer frames under Xvfb (software GL)"
  ninja -C "$build" viewer_frame_bench >/dev/null
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/viewer_frame_bench" "$root/examples" "$here/data" 20
fi

# The viewer: "NEW POW LINES " in the window, the automatic pipeline stage by
# stage, and as a process (quorax1 with eight arguments), on a virtual display.
if ninja -C "$build" -t query viewer_actions_bench >/dev/null 2>&1 && command -v xvfb-run >/dev/null; then
  ninja -C "$build" viewer_actions_bench quorax1 >/dev/null
  echo
  echo "== viewer actions, bundled example"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/viewer_actions_bench" \
    "$root/examples/fas2.obj" "$root/examples/fas2.dx" "$repeats"
  echo
  echo "== viewer actions, large synthetic case"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/viewer_actions_bench" \
    "$here/data/large.obj" "$here/data/large.dx" "$repeats"
fi

# The tubes through a slicer's command line, when prusa-slicer is installed.
echo
echo "== tubes of the bundled example through prusa-slicer"
"$here/slice_tubes.sh" "$build"

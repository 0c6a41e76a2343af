#!/usr/bin/env bash
# Builds the tool in Release mode, generates the large synthetic case (160³
# grid, ~400 000 triangles) once, and times every phase on the bundled
# example and on the large case; then, when the viewer can be built (Qt 6,
# GLU) and xvfb-run is there, the viewer's frame time on both.
#   bench/run.sh [REPEATS]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-bench"
repeats="${1:-5}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORAX_BUILD_VIEWER=ON -DQUORAX_BUILD_TESTS=OFF >/dev/null
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
if ninja -C "$build" -t query viewer_frame_bench >/dev/null 2>&1 && command -v xvfb-run >/dev/null; then
  echo
  echo "== viewer frames under Xvfb (software GL)"
  ninja -C "$build" viewer_frame_bench >/dev/null
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/viewer_frame_bench" "$root/examples" "$here/data" 20
fi

# The viewer: "NEW POW LINES " in the window and the automatic pipeline as a
# process (quorax1 with eight arguments), on a virtual display.
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

#!/usr/bin/env bash
# quorax-series on FRAMES frames of the bundled example (links to the same two
# files) with --jobs 1 and 2: frames per second, and the time per frame over
# a single quorax run (the series' overhead). For comparison, the same frames
# as one quorax process each, one after the other (what the viewer's batch
# file does).
#   bench/series_bench.sh BUILD_TOOL_DIR [FRAMES] [REPEATS]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
examples="$(dirname "$here")/examples"
tool="$(cd "$1" && pwd)"
frames="${2:-50}"
repeats="${3:-3}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for ((i = 1; i <= frames; i++)); do
  ln -s "$examples/fas2.obj" "m$i.obj"
  ln -s "$examples/fas2.dx" "g$i.dx"
done
numbers=(0.01 0.0 45 1 3.0)
export QUORAX_SEED=1

now() { date +%s.%N; }
# best (smallest) wall time of REPEATS runs of the command
best() {
  local b=""
  for ((r = 0; r < repeats; r++)); do
    local t0 t1
    t0=$(now)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t1=$(now)
    b=$(echo "$t0 $t1 $b" | awk '{d = $2 - $1; if ($3 == "" || d < $3) print d; else print $3}')
  done
  echo "$b"
}
single=$(best "$tool/quorax" m1.obj g1.dx single.txt "${numbers[@]}")
processes() {
  for ((i = 1; i <= frames; i++)); do "$tool/quorax" "m$i.obj" "g$i.dx" "p$i.txt" "${numbers[@]}" || return 1; done
}
sequential=$(best processes)
printf "single quorax run:                 %7.3f s\n" "$single"
printf "%d quorax processes in a row:      %7.3f s  %6.2f frames/s\n" "$frames" "$sequential" \
  "$(echo "$frames $sequential" | awk '{print $1 / $2}')"
for jobs in 1 2; do
  t=$(best "$tool/quorax-series" 'm{}.obj' 'g{}.dx' 'l{}.txt' "${numbers[@]}" --frames "1:$frames" --jobs "$jobs" --force)
  echo "$frames $t $single $jobs" | awk '{printf "quorax-series --jobs %d:            %7.3f s  %6.2f frames/s  overhead per frame %+.1f ms\n", $4, $2, $1 / $2, 1000 * ($2 / $1 - $3)}'
done
echo "(overhead per frame: the series' wall time per frame minus one quorax run; with --jobs 2 frames overlap, so it is negative when two cores are free)"

#!/usr/bin/env bash
# Wall time and peak memory of the default run and of a faithful run (flux
# seeding with about as many lines, rk4, stop at the surface) on the same
# inputs, best of REPEATS, and their ratio.
#   bench/faithful_bench.sh QUORAX MESH.obj GRID.dx [REPEATS]
set -euo pipefail
quorax=$1 mesh=$2 grid=$3 repeats=${4:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
best() { # best wall time in seconds of the command, and its peak RSS
  local best="" rss=""
  for ((i = 0; i < repeats; i++)); do
    /usr/bin/time -f "%e %M" -o "$out/t" env QUORAX_SEED=1 "$@" >"$out/stdout"
    read -r t m <"$out/t"
    if [[ -z $best ]] || (($(echo "$t < $best" | bc -l))); then best=$t rss=$m; fi
  done
  echo "$best $rss"
}
read -r t0 m0 < <(best "$quorax" "$mesh" "$grid" "$out/l.txt" 0.01 0.0 45 1 3.0)
n0=$(grep -c '^n' "$out/l.txt")
# Flux density for about the same number of lines as the default run.
"$quorax" "$mesh" "$grid" "$out/f.txt" 1e-9 0.0 45 1 3.0 --seeding flux >"$out/probe" 2>/dev/null || true
flux=$(sed -n 's/^combined flux value //p' "$out/probe")
density=$(echo "$n0 / $flux" | bc -l)
read -r t1 m1 < <(best "$quorax" "$mesh" "$grid" "$out/f.txt" 0.01 0.0 45 1 3.0 --seeding flux \
  --flux-density "$density" --integrator rk4 --stop-at-surface)
n1=$(grep -c '^n' "$out/f.txt")
printf '%-44s %7.3f s %8.1f MB  %d lines\n' "default run" "$t0" "$(echo "$m0/1024" | bc -l)" "$n0"
printf '%-44s %7.3f s %8.1f MB  %d lines\n' "flux + rk4 + stop at surface" "$t1" "$(echo "$m1/1024" | bc -l)" "$n1"
printf '%-44s %7.2f x\n' "ratio" "$(echo "$t1 / $t0" | bc -l)"

#!/usr/bin/env bash
# The whole quorax process against merely reading its inputs: in the same
# run, the wall time of `wc -l` over the mesh and the grid and of quorax on
# them (the usage example's parameters, QUORAX_SEED set), best of REPEATS,
# their ratio and quorax's peak memory; on every core and on one thread.
#   bench/speed.sh QUORAX MESH.obj GRID.dx [REPEATS]
set -euo pipefail
quorax="$1" mesh="$2" grid="$3" repeats="${4:-5}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

# Best wall time in seconds and the largest peak RSS in MB of REPEATS runs of a command.
measure() {
  local best="" peak=0 t m
  for ((r = 0; r < repeats; ++r)); do
    /usr/bin/time -f "%e %M" -o "$out/time" "$@" >/dev/null 2>&1
    read -r t m <"$out/time"
    # %e has only two decimals: time again with the shell's clock.
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
    ((m > peak)) && peak=$m
  done
  echo "$best $((peak / 1024))"
}

cat "$mesh" "$grid" >/dev/null # both files in the page cache, as for every run below
cores=$(nproc)
printf "inputs: %s (%s MB), %s (%s MB); %s cores, load %s\n" "$mesh" "$(($(stat -c %s "$mesh") / 1000000))" \
  "$grid" "$(($(stat -c %s "$grid") / 1000000))" "$cores" "$(cut -d' ' -f1 /proc/loadavg)"
read -r wc_time _ < <(measure wc -l "$mesh" "$grid")
run=("$quorax" "$mesh" "$grid" "$out/lines.txt" 0.01 0.0 45 1 3.0)
read -r all_time all_peak < <(measure env QUORAX_SEED=1 "${run[@]}")
read -r one_time one_peak < <(measure env QUORAX_SEED=1 QUORAX_THREADS=1 "${run[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
printf "%-34s %8.1f ms\n" "wc -l over both files" "$(awk -v t="$wc_time" 'BEGIN { print t * 1000 }')"
printf "%-34s %8.1f ms  %5s x wc -l  peak %4s MB\n" "quorax, $cores threads" \
  "$(awk -v t="$all_time" 'BEGIN { print t * 1000 }')" "$(ratio "$all_time" "$wc_time")" "$all_peak"
printf "%-34s %8.1f ms  %5s x wc -l  peak %4s MB\n" "quorax, QUORAX_THREADS=1" \
  "$(awk -v t="$one_time" 'BEGIN { print t * 1000 }')" "$(ratio "$one_time" "$wc_time")" "$one_peak"

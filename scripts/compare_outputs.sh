#!/usr/bin/env bash
# Runs two builds of quorax on the same inputs and compares their standard
# output, standard error, exit status, lines file and debug dumps byte for
# byte: the check that a change left the default run exactly as it was.
#   scripts/compare_outputs.sh OLD_QUORAX NEW_QUORAX [MESH.obj GRID.dx]...
# Without inputs: the bundled example with five parameter sets, and the
# large bench case when bench/data holds it.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
old=$(realpath "$1") new=$(realpath "$2")
shift 2
inputs=("$@")
((${#inputs[@]})) || inputs=("$root/examples/fas2.obj" "$root/examples/fas2.dx")
[[ $# -eq 0 && -f $root/bench/data/large.obj ]] && inputs+=("$root/bench/data/large.obj" "$root/bench/data/large.dx")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
# run NAME ARGS...: both builds in their own folder, then every file compared.
run() {
  local name=$1
  shift
  for side in old new; do
    mkdir -p "$work/$side/$name"
    (cd "$work/$side/$name" && QUORAX_SEED=3 "${!side}" "$@" >stdout 2>stderr; echo $? >status)
  done
  if ! diff -r "$work/old/$name" "$work/new/$name" >/dev/null; then
    echo "DIFFERENT: $name: $*"
    fail=1
  fi
}
for ((i = 0; i < ${#inputs[@]}; i += 2)); do
  mesh=${inputs[i]} grid=${inputs[i + 1]}
  tag=$(basename "$mesh" .obj)
  for p in "0.01 0.0 45 1 3.0" "0.001 0.0 90 0 3" "0.1 0.05 20 1 10" "0.01 0.1 45 1 45"; do
    run "$tag-${p// /_}" "$mesh" "$grid" lines.txt $p
  done
  run "$tag-debug" "$mesh" "$grid" lines.txt 0.01 0.0 45 1 3.0 1
done
run usage "${inputs[0]}"
run missing /nonexistent.obj "${inputs[1]}" lines.txt 0.01 0 45 1 3
if ((fail)); then
  echo "compare_outputs: the two builds differ"
  exit 1
fi
echo "compare_outputs: identical (stdout, stderr, status, lines file, dumps)"

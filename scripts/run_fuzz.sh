#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each on its seeds for a fixed time.
# Fails on the first crash, leak, timeout (10 s for one input) or input that
# needs more than 2 GB; the input that did it is kept in the build folder as
# fuzz-<target>-crash-*, leak-*, timeout-* or oom-*.
#   scripts/run_fuzz.sh [BUILD_DIR]   (default: build-fuzz)
# QUORAX_FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-fuzz}"
seconds="${QUORAX_FUZZ_SECONDS:-30}"
"$root/scripts/install_deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORAX_FUZZ=ON -DQUORAX_BUILD_VIEWER=OFF -DQUORAX_BUILD_TESTS=OFF -DQUORAX_BUILD_BENCH=OFF
targets=(obj dx ply pipeline)
cmake --build "$build" --target "${targets[@]/#/fuzz_}"
for t in "${targets[@]}"; do
  # New inputs go to a scratch corpus: the seeds in the tree stay as they are.
  scratch="$(mktemp -d)"
  dict=()
  [[ -f "$root/tests/fuzz/$t.dict" ]] && dict=(-dict="$root/tests/fuzz/$t.dict")
  echo "fuzzing $t for ${seconds} s"
  status=0
  "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-$t-" "${dict[@]}" "$scratch" "$root/tests/fuzz/corpus/$t" \
    >"$build/fuzz-$t.log" 2>&1 || status=$?
  rm -rf "$scratch"
  if ((status != 0)); then
    tail -n 60 "$build/fuzz-$t.log"
    echo "fuzz_$t failed (exit $status); the log is $build/fuzz-$t.log" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$build/fuzz-$t.log" || true
done
echo "fuzzing passed"

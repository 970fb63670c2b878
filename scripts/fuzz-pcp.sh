#!/usr/bin/env bash
# Builds the libFuzzer target over the mapping of another computer's
# collector answers (the OMBRIX_FUZZ build, as scripts/fuzz-registry.sh
# makes it) and runs it for the given seconds (60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=${FUZZ_DIR:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE= \
  -DOMBRIX_FUZZ=ON -DBUILD_TESTING=OFF -DOMBRIX_BENCH=OFF
cmake --build "$out" --target fuzz_pcp_values
mkdir -p "$out/corpus-pcp"
cd "$out"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ./bin/fuzz_pcp_values -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 corpus-pcp

#!/usr/bin/env bash
# Builds the registry layer's libFuzzer target with clang and the address and
# undefined-behaviour sanitizers, and runs it for the given seconds (60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=${FUZZ_DIR:-$root/build-fuzz}
mkdir -p "$out/corpus"
src=(
  "$root"/platform/registry/RegistryNames.cpp
  "$root"/platform/registry/MemoryRegistryStore.cpp
  "$root"/platform/registry/StoreFile.cpp
  "$root"/platform/registry/SqliteRegistryStore.cpp
  "$root"/platform/registry/RegistryLayer.cpp
  "$root"/tests/fuzz/fuzz_registry.cpp
)
# shellcheck disable=SC2046
clang++ -std=c++20 -O1 -g -fPIC -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core sqlite3) \
  "${src[@]}" -o "$out/fuzz_registry" $(pkg-config --libs Qt6Core sqlite3)
cd "$out"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ./fuzz_registry -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 corpus

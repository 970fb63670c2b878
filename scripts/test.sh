#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# and runs every test headless: a memory or undefined-behaviour fault fails
# the test that meets it. (The release build is scripts/run.sh's.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build-asan" Debug -DOMBRIX_SANITIZE=ON -DOMBRIX_BENCH=OFF
cd "$root/build-asan"
# Leaks are not faults here: Qt and the libraries it loads keep what they
# made until the process ends.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  ctest --output-on-failure -j2

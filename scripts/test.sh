#!/usr/bin/env bash
# Builds in release mode and runs every test headless.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" Release
cd "$root/build"
ctest --output-on-failure -j2

#!/usr/bin/env bash
# Configures and builds into build/ (release) or the folder and type given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
type=${2:-Release}
shift $(( $# > 2 ? 2 : $# ))
# Configure output stays visible: its warnings (a missing optional package) matter.
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
cmake --build "$dir"

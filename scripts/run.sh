#!/usr/bin/env bash
# Builds in release mode and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" Release
exec "$root/build/bin/ombrix"

#!/usr/bin/env bash
# Every binary and module the build makes looks for libraries only in folders
# named absolutely or from its own place ($ORIGIN): an empty entry, or one
# relative to the current directory, would load a library from wherever the
# program happens to be started.
set -u
dir=${1:?usage: search_paths.sh BIN_DIR}
checked=0 bad=0
for f in "$dir"/*; do
  [ -f "$f" ] && [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  checked=$((checked + 1))
  while read -r path; do
    IFS=: read -r -a entries <<<"$path"
    # read drops a trailing empty entry: count separators instead
    [ "${path: -1}" = ":" ] && entries+=("")
    for e in "${entries[@]}"; do
      case "$e" in
        /* | '$ORIGIN' | '$ORIGIN/'*) ;;
        *) echo "$(basename "$f"): search path [$path] holds '${e}'"; bad=$((bad + 1)) ;;
      esac
    done
  done < <(LC_ALL=C readelf -d "$f" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
done
echo "$checked binaries read"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]

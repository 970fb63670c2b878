#!/usr/bin/env bash
# Fails when a file includes a header from a folder it may not lean on. The
# layers, top down: the start-up (program/) over the windows, the windows
# over app/ and the platform interfaces; below the interfaces, this
# computer's readers (platform/linux) over the links, Qt's services and the
# registry engine; another computer's services (platform/remote) apart from
# them, over the interfaces alone; both over the text forms they share
# (platform/common); the PCP module leans on the interfaces and the
# counters' catalogue; the collector agent (pmda/) leans on this computer's
# readers; nothing includes upwards.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders (or single headers) its files may include from,
# besides its own
declare -A allowed=(
  [program]="app about computers_window drive_details main_window network_report performance_monitor registry report platform platform/linux platform/registry platform/links platform/pcp platform/remote platform/qt"
  [report]="app main_window network_report drive_details registry platform"
  [main_window]="app about drive_details network_report performance_monitor platform"
  [computers_window]="app main_window registry report platform"
  [network_report]="app registry platform"
  [drive_details]="app platform"
  [performance_monitor]="app platform"
  [about]="app platform"
  [registry]="platform"
  [app]="platform"
  [platform]=""
  [platform/registry]="platform"
  [platform/qt]="platform"
  [platform/links]="platform"
  [platform/pcp]="platform platform/linux/counters/LinuxCounterCatalogue.h"
  [platform/common]="platform platform/registry"
  [platform/linux]="platform platform/common platform/registry platform/qt platform/links"
  [platform/remote]="platform platform/common platform/registry"
  [getcpu]="platform/linux/KernelFile.h"
  [pmda]="platform platform/common platform/linux"
)

# The folder a path belongs to: this computer's rooms (drives, counters, ...)
# are part of platform/linux.
layer() {
  case "$1" in
    platform/linux/*) echo platform/linux ;;
    platform/*/*) local rest=${1#platform/}; echo "platform/${rest%%/*}" ;;
    platform/*) echo platform ;;
    *) echo "${1%%/*}" ;;
  esac
}

status=0
while IFS= read -r file; do
  from=$(layer "$file")
  [[ -v allowed[$from] ]] || continue
  while IFS= read -r included; do
    [[ $included == */* ]] || continue # a header beside the file
    to=$(layer "$included")
    [[ $to == "$from" ]] && continue
    ok=0
    for a in ${allowed[$from]}; do
      if [[ $a == "$to" || $a == "$included" ]]; then ok=1; fi
    done
    if ((!ok)); then
      echo "$file includes $included: $from may not lean on $to"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files '*.h' '*.cpp')
exit $status

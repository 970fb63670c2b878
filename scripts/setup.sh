#!/usr/bin/env bash
# Installs whatever the build and the tests need and is missing (as root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$here/packages.txt")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  # Where systemd is not process 1 (containers, CI machines) the install
  # scripts of service packages such as pcp fail when they start their
  # services: tell invoke-rc.d not to start any, and answer systemctl with a
  # stand-in that succeeds, for the length of the install only.
  dpkgpath=/usr/sbin:/usr/bin:/sbin:/bin
  policy=""
  if [ "$(cat /proc/1/comm 2>/dev/null)" != systemd ]; then
    standin=$(mktemp -d)
    trap 'rm -rf "$standin"; [ -z "$policy" ] || $sudo rm -f "$policy"' EXIT
    printf '#!/bin/sh\nexit 0\n' >"$standin/systemctl"
    chmod +x "$standin/systemctl"
    dpkgpath="$standin:$dpkgpath"
    if [ ! -e /usr/sbin/policy-rc.d ]; then
      policy=/usr/sbin/policy-rc.d
      printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
      $sudo chmod +x "$policy"
    fi
  fi
  # apt gives the install scripts a PATH of its own (DPkg::Path).
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q -o DPkg::Lock::Timeout=600 \
    -o DPkg::Path="$dpkgpath" --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Builds the Debian packages and meets them as a user's machine would:
# lintian, the desktop entry and metainfo validators, apt-get install, the
# installed program; then the agent's package (ombrix-pmda) installed with
# pmcd stopped and registered at pmcd's start, removed and installed again
# with pmcd running, and purged; then apt-get remove --purge of the program.
# Needs root (or sudo); it leaves both packages removed and purged, the
# machine's /var/lib/ombrix and pmcd.conf as they were, and pmcd running or
# not as it found it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() { echo "check-package: $*" >&2; exit 1; }

echo "== packages"
# The packages a machine installs; their debugging symbols are not checked.
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} noddebs"
mapfile -t debs < <("$root/scripts/package.sh" | tail -n 2)
deb=${debs[0]} agent_deb=${debs[1]}
printf '%s\n' "$deb" "$agent_deb"
version=$(dpkg-deb -f "$deb" Version)

echo "== lintian (errors fail, warnings are listed)"
lintian --fail-on error --tag-display-limit 0 "$deb" "$agent_deb"

echo "== the agent's package needs no windowing library"
depends=$(dpkg-deb -f "$agent_deb" Depends)
echo "$depends"
! grep -q -i -E 'libqt6(gui|widgets)|qpa|libgl|libx11|libxcb' <<<"$depends" ||
  fail "ombrix-pmda depends on a windowing library"

echo "== desktop entry and metainfo"
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/org.ombrix.Ombrix.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/org.ombrix.Ombrix.metainfo.xml

echo "== library search paths of the packaged binaries"
"$root/tests/search_paths.sh" "$contents/usr/bin"
"$root/tests/search_paths.sh" "$contents/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/ombrix"
agent_contents="$contents/agent"
dpkg-deb -x "$agent_deb" "$agent_contents"
"$root/tests/search_paths.sh" "$agent_contents/usr/lib/pcp/pmdas/ombrix"

# A purge deletes the machine store: keep this machine's aside meanwhile.
if [ -e /var/lib/ombrix ]; then
  saved=$(mktemp -d)
  $sudo mv /var/lib/ombrix "$saved/"
  trap 'rm -rf "$contents"; $sudo rm -rf /var/lib/ombrix; $sudo mv "$saved/ombrix" /var/lib/; rmdir "$saved"' EXIT
fi

echo "== install"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --reinstall "$deb"
[ "$(/usr/bin/ombrix --version)" = "ombrix $version" ] || fail "ombrix --version: $(/usr/bin/ombrix --version)"
/usr/bin/ombrix --version

# The program finds its private libraries through its RUNPATH alone: the
# processor library is loaded by the main window's load step, the others
# (printers, other computers' counters, the registry's SQLite store, the
# volume probe) by the same loader when first asked.
private=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/ombrix
for lib in libgetcpu.so libombrix_printers.so libombrix_pcp.so libombrix_sqlite.so \
  libombrix_blkid.so; do
  [ -f "$private/$lib" ] || fail "$private/$lib is missing"
  # What each needs comes with the package's dependencies.
  missing=$(ldd "$private/$lib" | grep 'not found' || true)
  [ -z "$missing" ] || fail "$private/$lib: $missing"
done
QT_QPA_PLATFORM=offscreen /usr/bin/ombrix >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do
  grep -q "$private/libgetcpu.so" "/proc/$pid/maps" 2>/dev/null && break
  sleep 0.1
done
found=$(grep -c "$private/libgetcpu.so" "/proc/$pid/maps" || true)
kill "$pid"
wait "$pid" 2>/dev/null || true
[ "$found" -gt 0 ] || fail "the installed program did not load $private/libgetcpu.so"
echo "the installed program loads $private/libgetcpu.so"
# The report reads the registry and every drive: a module it cannot load
# fails its section, named on stderr.
report_errors=$(XDG_DATA_HOME="$contents/xdg" /usr/bin/ombrix --report --section network \
  --section drives 2>&1 >/dev/null) || fail "ombrix --report: $report_errors"
echo "the installed program's report loads its registry and drive modules"

echo "== the agent's package and this computer's pmcd"
# Where pcp's own files say pmcd's configuration is.
pmcd_conf=$(set +u && . /etc/pcp.env && echo "$PCP_PMCDCONF_PATH")
agent_folder=$(set +u && . /etc/pcp.env && echo "$PCP_PMDAS_DIR/ombrix")
pmcd_answers() { pminfo -v pmcd.version >/dev/null 2>&1; }
pmcd_service() {
  if [ "$(cat /proc/1/comm 2>/dev/null)" = systemd ]; then
    $sudo systemctl "$1" pmcd
  else
    $sudo /etc/init.d/pmcd "$1" >/dev/null
  fi
}
# Polls for up to 60 s: pmcd's start registers the agent in the background.
await() {
  local deadline=$((SECONDS + 60))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
pmcd_was_running=false
pmcd_answers && pmcd_was_running=true
cp "$pmcd_conf" "$contents/pmcd.conf.before"
pmcd_service stop
await eval '! pmcd_answers' || fail "pmcd did not stop"

# pmcd stopped: the package leaves its registration to pmcd's next start.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$agent_deb"
[ -e "$agent_folder/.NeedInstall" ] || fail "the agent's package left no .NeedInstall for pmcd"
cmp "$pmcd_conf" "$contents/pmcd.conf.before" || fail "the agent was registered with pmcd stopped"
if ldd "$agent_folder/pmdaombrix" | grep -E 'not found|libQt6(Gui|Widgets)'; then
  fail "$agent_folder/pmdaombrix needs a library it should not"
fi
pmcd_service start
agent_answers() {
  pminfo -f ombrix.agent.version ombrix.os.name >"$contents/pminfo" 2>&1 &&
    grep -q "value \"$version\"" "$contents/pminfo"
}
await agent_answers || fail "the agent did not answer after pmcd's start: $(cat "$contents/pminfo")"
cat "$contents/pminfo"
# The OS name is the one this computer's os-release gives.
os_name=$(set +u && . /etc/os-release && echo "${PRETTY_NAME:-${NAME:-Linux}}")
grep -q -F "value \"$os_name\"" "$contents/pminfo" || fail "ombrix.os.name is not \"$os_name\""
[ ! -e "$agent_folder/.NeedInstall" ] || fail "pmcd's start left the agent's .NeedInstall"

# pmcd running: removing takes the agent out, installing puts it back at once.
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q ombrix-pmda
cmp "$pmcd_conf" "$contents/pmcd.conf.before" || fail "removing the agent changed $pmcd_conf"
! pminfo ombrix >/dev/null 2>&1 || fail "pmcd still knows ombrix.* after the agent's removal"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$agent_deb"
agent_answers || fail "the agent did not answer once installed: $(cat "$contents/pminfo")"
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove --purge -y -q ombrix-pmda
cmp "$pmcd_conf" "$contents/pmcd.conf.before" || fail "purging the agent changed $pmcd_conf"
[ ! -e "$agent_folder" ] || fail "purge left $agent_folder"
echo "pmcd.conf is byte for byte as before the agent's package"
$pmcd_was_running || pmcd_service stop

echo "== remove: the machine store stays"
$sudo mkdir -p /var/lib/ombrix
$sudo touch /var/lib/ombrix/registry.db
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q ombrix
[ -e /var/lib/ombrix/registry.db ] || fail "remove deleted /var/lib/ombrix"

echo "== purge: nothing of ours is left"
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove --purge -y -q ombrix
[ ! -e /var/lib/ombrix ] || fail "purge left /var/lib/ombrix"
left=$(find /usr /etc /var/lib/pcp /var/log/pcp -path '*ombrix*' 2>/dev/null || true)
[ -z "$left" ] || fail "left behind: $left"
echo "nothing of ombrix is left under /usr, /etc, /var/lib or /var/log/pcp"

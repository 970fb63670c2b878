#!/usr/bin/env bash
# Builds the Debian package and meets it as a user's machine would: lintian,
# the desktop entry and metainfo validators, apt-get install, the installed
# program, then apt-get remove --purge. Needs root (or sudo); it leaves the
# package removed and purged, and the machine's /var/lib/ombrix as it was.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() { echo "check-package: $*" >&2; exit 1; }

echo "== package"
deb=$("$root/scripts/package.sh" | tail -n 1)
echo "$deb"
version=$(dpkg-deb -f "$deb" Version)

echo "== lintian (errors fail, warnings are listed)"
lintian --fail-on error --tag-display-limit 0 "$deb"

echo "== desktop entry and metainfo"
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/org.ombrix.Ombrix.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/org.ombrix.Ombrix.metainfo.xml

echo "== library search paths of the packaged binaries"
"$root/tests/search_paths.sh" "$contents/usr/bin"
"$root/tests/search_paths.sh" "$contents/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/ombrix"

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

echo "== remove: the machine store stays"
$sudo mkdir -p /var/lib/ombrix
$sudo touch /var/lib/ombrix/registry.db
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q ombrix
[ -e /var/lib/ombrix/registry.db ] || fail "remove deleted /var/lib/ombrix"

echo "== purge: nothing of ours is left"
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove --purge -y -q ombrix
[ ! -e /var/lib/ombrix ] || fail "purge left /var/lib/ombrix"
left=$(find /usr /etc -path '*ombrix*' 2>/dev/null || true)
[ -z "$left" ] || fail "left behind: $left"
echo "nothing of ombrix is left under /usr, /etc or /var/lib"

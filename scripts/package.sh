#!/usr/bin/env bash
# Builds the Debian packages from debian/, ombrix (the program) and
# ombrix-pmda (its PCP agent), and prints their paths last, one a line, the
# program's first. The build runs in a copy of the source tree under
# build-deb/, so the tree stays clean; the packages land in dist/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

# The package's version is the project's.
project=$(sed -n 's/^project(Ombrix VERSION \([^ )]*\).*/\1/p' "$root/CMakeLists.txt")
package=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
if [ "$project" != "$package" ]; then
  echo "package.sh: debian/changelog says $package, CMakeLists.txt says $project" >&2
  exit 1
fi

stage="$root/build-deb"
src="$stage/ombrix-$project"
rm -rf "$stage"
mkdir -p "$src" "$root/dist"
tar -C "$root" --exclude=./.git --exclude='./build*' --exclude=./dist -cf - . | tar -C "$src" -xf -

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$stage}
(cd "$src" && dpkg-buildpackage -us -uc -b) >"$stage/build.log" 2>&1 || {
  tail -40 "$stage/build.log" >&2
  echo "package.sh: the package build failed; the whole log is $stage/build.log" >&2
  exit 1
}

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
for name in ombrix ombrix-pmda; do
  deb="${name}_${package}_${arch}.deb"
  mv "$stage/$deb" "$root/dist/"
  echo "$root/dist/$deb"
done

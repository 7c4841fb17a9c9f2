#!/usr/bin/env bash
# Builds the Debian packages (tallygate, tallygate-collector,
# python3-tallygate, tallygate-dev, tallygate-demo) of a Release build
# installed under /usr, with CPack's DEB generator (cmake/DebianPackages.cmake),
# into BUILD_DIR/packages/.
#
#   scripts/package.sh [BUILD_DIR]
#
# Without BUILD_DIR it configures and builds a Release build of its own in
# build-package/ (without the tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "package.sh: $*" >&2; exit 1; }

# Each program needed and the Debian package that has it.
missing=0
for need in cmake:cmake cpack:cmake ninja:ninja-build dpkg-shlibdeps:dpkg-dev file:file \
  dpkg-deb:dpkg; do
  if ! command -v "${need%%:*}" >/dev/null 2>&1; then
    echo "package.sh: ${need%%:*} is missing: apt-get install ${need#*:}" >&2
    missing=1
  fi
done
[ "$missing" = 0 ] || exit 1

if [ $# -gt 0 ]; then
  [ -f "$1/CMakeCache.txt" ] || fail "$1 is not a configured build folder (no CMakeCache.txt)"
  build=$(cd "$1" && pwd)
else
  build=$root/build-package
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTALLYGATE_BUILD_TESTS=OFF >/dev/null
fi

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[ "$(cache CMAKE_BUILD_TYPE)" = Release ] ||
  fail "$build is a '$(cache CMAKE_BUILD_TYPE)' build; the packages are made from a Release build (-DCMAKE_BUILD_TYPE=Release)"
[ "$(cache CMAKE_INSTALL_PREFIX)" = /usr ] ||
  fail "$build installs under '$(cache CMAKE_INSTALL_PREFIX)'; the packages install under /usr (-DCMAKE_INSTALL_PREFIX=/usr)"
[ "$(cache TALLYGATE_SANITIZE)" != ON ] ||
  fail "$build is built with the sanitizers (TALLYGATE_SANITIZE=ON)"
[ "$(cache TALLYGATE_TSAN)" != ON ] ||
  fail "$build is built with ThreadSanitizer (TALLYGATE_TSAN=ON)"
for option in TALLYGATE_BUILD_PYTHON TALLYGATE_BUILD_DEMO; do
  [ "$(cache $option)" != OFF ] || fail "$build leaves out a package's programs ($option=OFF)"
done

ninja -C "$build" >"$build/package-build.log" 2>&1 || {
  tail -n 40 "$build/package-build.log" >&2
  fail "the build failed (all of it in $build/package-build.log)"
}

# A file installed without a component would be in no package.
stray=$(mktemp -d)
trap 'rm -rf "$stray"' EXIT
DESTDIR=$stray cmake --install "$build" --component Unspecified >/dev/null
if [ -n "$(find "$stray" -type f -o -type l)" ]; then
  find "$stray" -type f -o -type l | sed "s|^$stray|  |" >&2
  fail "these files are installed without a COMPONENT, so no package would hold them"
fi

rm -rf "$build/packages" "$build/_CPack_Packages"
(cd "$build" && cpack -G DEB --config CPackConfig.cmake >"$build/cpack.log" 2>&1) || {
  cat "$build/cpack.log" >&2
  fail "cpack failed"
}
shopt -s nullglob
debs=("$build"/packages/*.deb)
[ ${#debs[@]} -gt 0 ] || fail "cpack made no package (see $build/cpack.log)"
echo "packages in $build/packages:"
for deb in "${debs[@]}"; do
  printf '  %-44s %8s KiB\n' "$(basename "$deb")" "$(($(stat -c %s "$deb") / 1024))"
done

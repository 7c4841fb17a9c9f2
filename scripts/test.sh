#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test twice: once plain,
# once built with AddressSanitizer and UndefinedBehaviorSanitizer; checks the
# installed package with the example against the simulator; builds the
# Debian packages and checks them installed, run and removed. Every build
# treats warnings as errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# Also for the build fuzz/run.sh makes (the default of a new build folder).
export TALLYGATE_WERROR=ON

"$root/scripts/setup.sh"

# The plain build is a Release build, in a folder of its own so that the
# RelWithDebInfo build of the other scripts stays as it is.
echo "== plain build (Release)"
"$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release -DTALLYGATE_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr
(cd "$root/build-release" && ctest -j"$jobs" --output-on-failure --timeout 300)

echo "== installed package: examples/ built against it, pkg-config"
"$root/examples/check_package.sh" "$root/build-release"

echo "== Debian packages: built, installed, checked, removed"
"$root/scripts/package.sh" "$root/build-release"
# The check installs the packages on this machine and purges them: CI's
# machine (.ci/run asks for it), or wherever TALLYGATE_CHECK_PACKAGES=1 says so.
if [ "${TALLYGATE_CHECK_PACKAGES:-0}" = 1 ]; then
  if [ "$(id -u)" = 0 ]; then
    "$root/scripts/check-packages.sh" "$root/build-release/packages"
  else
    sudo "$root/scripts/check-packages.sh" "$root/build-release/packages"
  fi
else
  echo "install check skipped: TALLYGATE_CHECK_PACKAGES=1 runs it (it installs and purges the packages)"
fi

echo "== sanitizer build"
"$root/scripts/build.sh" "$root/build-sanitize" -DTALLYGATE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
  -DTALLYGATE_WERROR=ON
(cd "$root/build-sanitize" &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest -j"$jobs" --output-on-failure --timeout 600)

echo "== fuzz targets"
# Each libFuzzer target for TALLYGATE_FUZZ_SECONDS (default 60; 0 skips the
# step). A longer run is fuzz/run.sh SECONDS.
fuzz_seconds=${TALLYGATE_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" != 0 ]; then
  TALLYGATE_FUZZ_BUILD="$root/build-fuzz" "$root/fuzz/run.sh" "$fuzz_seconds"
fi

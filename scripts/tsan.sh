#!/usr/bin/env bash
# Builds the tests of what runs on several threads at once with
# ThreadSanitizer and runs them (the list is TALLYGATE_TSAN_TESTS in
# tests/CMakeLists.txt): the collector's polls, fleet, stores, dashboard and
# service, the terminal API's two lines on two threads, the simulator's fleet.
#
#   scripts/tsan.sh [BUILD_DIR] [extra cmake options...]   (default build-tsan)
#
# Every process of the run, the test programs and the tallygate-sim and
# tallygate-collector they start, writes what ThreadSanitizer reports to a
# file of BUILD_DIR/tsan-reports/: a child's standard error is often read by
# its test, and a child that a test stops on purpose would take its report
# with it. The first report stops the process (halt_on_error); the script
# prints every report and fails when there is one, whether or not the tests
# noticed. TALLYGATE_TSAN_BUILD_ONLY=1 stops after the build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-tsan}
shift || true
jobs=${TALLYGATE_TSAN_JOBS:-$(nproc)}

echo "== tsan: building into $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALLYGATE_TSAN=ON \
  -DTALLYGATE_BUILD_PYTHON=OFF -DTALLYGATE_BUILD_DEMO=OFF "$@" >/dev/null
ninja -C "$build" tsan_tests
# Built ahead, beside other work (scripts/test.sh); the tests come later.
if [ "${TALLYGATE_TSAN_BUILD_ONLY:-0}" = 1 ]; then exit 0; fi

reports=$build/tsan-reports
rm -rf "$reports"
mkdir -p "$reports"
options="halt_on_error=1 second_deadlock_stack=1 log_path=$reports/report"
if [ -s "$root/cmake/tsan.supp" ]; then options+=" suppressions=$root/cmake/tsan.supp"; fi

echo "== tsan: running the tests labelled tsan, $jobs at a time"
status=0
(cd "$build" && TSAN_OPTIONS=$options ctest -L tsan -j"$jobs" --output-on-failure --timeout 900) || status=$?

found=("$reports"/report.*)
if [ -e "${found[0]}" ]; then
  for report in "${found[@]}"; do
    echo "== tsan: $report"
    cat "$report"
  done
  echo "== tsan: ${#found[@]} processes reported; each report above"
  exit 1
fi
if ((status)); then exit "$status"; fi
echo "== tsan: nothing reported"

#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test twice: once plain,
# once built with AddressSanitizer and UndefinedBehaviorSanitizer; checks the
# installed package with the example against the simulator; builds the
# Debian packages and checks them installed, run and removed; runs the tests
# of what runs on several threads with ThreadSanitizer; runs the fuzz
# targets. Every build treats warnings as errors. The sanitizer,
# ThreadSanitizer and fuzz builds each run in the background, at the lowest
# priority, beside the tests before them. At the end it prints how long each
# phase took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# Also for the build fuzz/run.sh makes (the default of a new build folder).
export TALLYGATE_WERROR=ON

# Wall and CPU time (user and system, of every process waited for) of each
# phase, printed at the end, whether the run passed or failed.
phase_names=() phase_wall=() phase_cpu=()
phase_name=""
phase_times=$(mktemp)
# Sets cpu_now: `times` must run in this shell, not in a command
# substitution's, to count this shell's children.
cpu_seconds() {
  times >"$phase_times"
  cpu_now=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' \
    "$phase_times")
}
end_phase() {
  [ -n "$phase_name" ] || return 0
  phase_names+=("$phase_name")
  phase_wall+=($((SECONDS - phase_started)))
  cpu_seconds
  phase_cpu+=($((cpu_now - phase_cpu_started)))
  phase_name=""
}
phase() {
  end_phase
  phase_name=$1
  phase_started=$SECONDS
  cpu_seconds
  phase_cpu_started=$cpu_now
  echo "== $1"
}
phase_summary() {
  end_phase
  echo "== time per phase (minutes:seconds; CPU is the time of every core; a build run"
  echo "   beside tests counts all its CPU in the phase that waits for its end)"
  printf '%-44s %8s %8s\n' phase wall CPU
  local i
  for i in "${!phase_names[@]}"; do
    printf '%-44s %5d:%02d %5d:%02d\n' "${phase_names[$i]}" $((phase_wall[i] / 60)) $((phase_wall[i] % 60)) \
      $((phase_cpu[i] / 60)) $((phase_cpu[i] % 60))
  done
  printf '%-44s %5d:%02d\n' total $((SECONDS / 60)) $((SECONDS % 60))
  rm -f "$phase_times"
}
# A build started in the background at the lowest CPU and I/O priority,
# beside a phase of tests: the tests spend most of their time waiting for
# terminals' replies and timeouts, and leave most of the two cores idle.
# finish_beside waits for it; its output is printed then, in one piece.
beside_logs=$(mktemp -d)
declare -A beside_pids=()
start_beside() {
  local name=$1
  shift
  echo "== $name: started in the background (its output at its end)"
  nice -n 19 ionice -c 3 "$@" >"$beside_logs/$name.log" 2>&1 &
  beside_pids[$name]=$!
}
finish_beside() {
  local name=$1 status=0
  wait "${beside_pids[$name]}" || status=$?
  unset "beside_pids[$name]"
  if ((status)); then
    cat "$beside_logs/$name.log"
    echo "== $name FAILED (exit status $status)"
    return "$status"
  fi
  tail -n 3 "$beside_logs/$name.log"
}
stop_beside() {
  local name
  for name in "${!beside_pids[@]}"; do kill "${beside_pids[$name]}" 2>/dev/null || true; done
  rm -rf "$beside_logs"
  phase_summary
}
trap stop_beside EXIT

phase "setup"
"$root/scripts/setup.sh"

# The plain build is a Release build, in a folder of its own so that the
# RelWithDebInfo build of the other scripts stays as it is.
phase "plain build (Release)"
"$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release -DTALLYGATE_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr

# The sanitizer builds keep line tables only (-g1): their reports name each
# frame's file and line all the same, and the builds take a tenth less time.
line_tables=(-DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1)

# Only what its tests run: no Python module (its tests need an interpreter
# built with the sanitizers, so a sanitizer build registers none), and the
# benchmarks that no test runs are left out of such a build's default target.
start_beside "sanitizer build (ASan, UBSan)" \
  "$root/scripts/build.sh" "$root/build-sanitize" -DTALLYGATE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
  -DTALLYGATE_WERROR=ON -DTALLYGATE_BUILD_PYTHON=OFF "${line_tables[@]}"

phase "plain tests (the sanitizer build beside them)"
(cd "$root/build-release" && ctest -j"$jobs" --output-on-failure --timeout 300)

phase "installed package, examples/, pkg-config"
"$root/examples/check_package.sh" "$root/build-release"

phase "Debian packages: built, installed, removed"
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

phase "sanitizer build (ASan, UBSan): the rest"
finish_beside "sanitizer build (ASan, UBSan)"

# The tests of what runs on several threads at once (TALLYGATE_TSAN_TESTS in
# tests/CMakeLists.txt), in a build of their own; a report fails the step.
start_beside "ThreadSanitizer build" \
  env TALLYGATE_TSAN_BUILD_ONLY=1 "$root/scripts/tsan.sh" "$root/build-tsan" -DTALLYGATE_WERROR=ON \
  "${line_tables[@]}"

phase "sanitizer tests (the ThreadSanitizer build beside them)"
(cd "$root/build-sanitize" &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest -j"$jobs" --output-on-failure --timeout 600)

phase "ThreadSanitizer build: the rest"
finish_beside "ThreadSanitizer build"

# Each libFuzzer target for TALLYGATE_FUZZ_SECONDS (default 60; 0 skips the
# step). A longer run is fuzz/run.sh SECONDS.
fuzz_seconds=${TALLYGATE_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" != 0 ]; then
  start_beside "fuzz build" env TALLYGATE_FUZZ_BUILD_ONLY=1 TALLYGATE_FUZZ_BUILD="$root/build-fuzz" \
    "$root/fuzz/run.sh" "$fuzz_seconds"
fi

phase "ThreadSanitizer tests (the fuzz build beside them)"
"$root/scripts/tsan.sh" "$root/build-tsan" -DTALLYGATE_WERROR=ON "${line_tables[@]}"

if [ "$fuzz_seconds" != 0 ]; then
  phase "fuzz build: the rest"
  finish_beside "fuzz build"
  phase "fuzz targets"
  TALLYGATE_FUZZ_BUILD="$root/build-fuzz" "$root/fuzz/run.sh" "$fuzz_seconds"
fi

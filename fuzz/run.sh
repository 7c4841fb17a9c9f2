#!/usr/bin/env bash
# Builds the fuzz targets with clang, the whole project instrumented for
# coverage and built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then runs every target for SECONDS (default 60), two at a time.
#
#   fuzz/run.sh [SECONDS] [TARGET...]      e.g. fuzz/run.sh 600 reply_units
#
# Each target starts from its seeds in fuzz/corpus/NAME; what it finds goes
# to the work folder (grown corpora, logs, inputs that failed), never into
# the repository. Exits non-zero when a target crashed, leaked, timed out or
# broke one of its rules; the failing input is named in its log.
#
# Environment: TALLYGATE_FUZZ_BUILD (build folder, default build-fuzz beside
# the sources), TALLYGATE_FUZZ_WORK (default BUILD/work), TALLYGATE_FUZZ_JOBS
# (targets at once, default the number of cores), TALLYGATE_FUZZ_BUILD_ONLY=1
# (build, run nothing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${TALLYGATE_FUZZ_BUILD:-$root/build-fuzz}
work=${TALLYGATE_FUZZ_WORK:-$build/work}
jobs=${TALLYGATE_FUZZ_JOBS:-$(nproc)}

all_targets=(reply_units text_conversions settings_file code_tables record_check picture_file frame_reader
  public_sys)
targets=("$@")
((${#targets[@]})) || targets=("${all_targets[@]}")

# Longest input per target: the code tables need room for a whole rm.txt.
max_len() {
  case "$1" in
    code_tables) echo 160000 ;;
    *) echo 8192 ;;
  esac
}

echo "== fuzz: building into $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLYGATE_FUZZ=ON -DTALLYGATE_SANITIZE=ON -DTALLYGATE_BUILD_TESTS=OFF -DTALLYGATE_BUILD_DEMO=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
ninja -C "$build" fuzzers
if [ "${TALLYGATE_FUZZ_BUILD_ONLY:-0}" = 1 ]; then exit 0; fi

# public_sys needs the demo's source and Qt 6; without them it is not built.
present=()
for name in "${targets[@]}"; do
  if [ -x "$build/fuzz/fuzz_$name" ]; then present+=("$name"); else echo "== fuzz: fuzz_$name not built, left out"; fi
done
targets=("${present[@]}")

mkdir -p "$work/logs" "$work/artifacts"
run_target() {
  local name=$1
  mkdir -p "$work/corpus/$name"
  # The first folder receives new inputs; the seeds are only read.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$(max_len "$name")" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$name-" \
    "$work/corpus/$name" "$root/fuzz/corpus/$name" >"$work/logs/$name.log" 2>&1
}

echo "== fuzz: ${#targets[@]} targets, $seconds s each, $jobs at a time"
declare -A pids=()
failed=()
for name in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
  run_target "$name" &
  pids[$name]=$!
done
for name in "${targets[@]}"; do
  if ! wait "${pids[$name]}"; then failed+=("$name"); fi
done

printf '%-18s %12s %8s %8s %8s\n' target runs cov ft corpus
for name in "${targets[@]}"; do
  log="$work/logs/$name.log"
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | awk '{print $2}' || true)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(grep -o 'cov: [0-9]*' <<<"$last" | awk '{print $2}' || true)
  ft=$(grep -o 'ft: [0-9]*' <<<"$last" | awk '{print $2}' || true)
  corp=$(grep -o 'corp: [0-9]*' <<<"$last" | awk '{print $2}' || true)
  printf '%-18s %12s %8s %8s %8s\n' "$name" "${runs:--}" "${cov:--}" "${ft:--}" "${corp:--}"
done

if ((${#failed[@]})); then
  for name in "${failed[@]}"; do
    echo "== fuzz: $name FAILED; the end of $work/logs/$name.log:"
    tail -40 "$work/logs/$name.log"
  done
  exit 1
fi
echo "== fuzz: no target failed"

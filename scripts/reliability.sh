#!/usr/bin/env bash
# The whole reliability run in one command:
#   1. tallygate-soak in a plain build: the fault soak (EXCHANGES exchanges,
#      5 % of them faulted, over TCP and a pseudo-terminal at once), the
#      hostile TCP peers (a 100 MB flood among them) and the serial device
#      going away; its timing and memory figures are the real ones;
#   2. tallygate-soak again in the sanitizer build, with a tenth of the
#      exchanges: AddressSanitizer, UndefinedBehaviorSanitizer, and
#      LeakSanitizer, which fails the run on any leak at exit;
#   3. the collector's reliability tests (faults, arrivals, clears, a store
#      outage and SIGKILLs; the store must hold every record ever held, once);
#   4. every fuzz target for FUZZ_SECONDS (0 skips them).
# Exits non-zero when any part broke a rule.
#
#   scripts/reliability.sh [--exchanges N] [--fuzz-seconds S] [--update-docs]
#
# --update-docs puts the figures into docs/reliability.md, between its
# "figures" markers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exchanges=20000
fuzz_seconds=60
update_docs=0
while (($#)); do
  case "$1" in
    --exchanges) exchanges=$2; shift 2 ;;
    --fuzz-seconds) fuzz_seconds=$2; shift 2 ;;
    --update-docs) update_docs=1; shift ;;
    *) echo "usage: $0 [--exchanges N] [--fuzz-seconds S] [--update-docs]" >&2; exit 2 ;;
  esac
done

"$root/scripts/setup.sh"
out=$root/build/reliability
mkdir -p "$out"
status=0

echo "== plain build: tallygate-soak"
# build/ may have been made by scripts/demo.sh without the tests.
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYGATE_BUILD_TESTS=ON \
  >/dev/null
ninja -C "$root/build" tallygate-soak tallygate-sim
"$root/build/soak/tallygate-soak" --exchanges "$exchanges" --report "$out/plain.md" || status=1

echo "== sanitizer build: tallygate-soak under AddressSanitizer, LeakSanitizer and UBSan"
cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DTALLYGATE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
ninja -C "$root/build-sanitize" tallygate-soak tallygate-sim
sanitized=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$root/build-sanitize/soak/tallygate-soak" --exchanges $((exchanges / 10)) --slack 2 \
  --report "$out/sanitize.md" 2>"$out/sanitize.stderr" || sanitized=$?
if ((sanitized)); then
  status=1
  echo "sanitizer run failed ($sanitized):"
  tail -40 "$out/sanitize.stderr"
fi

echo "== the collector: faults, arrivals, clears, an outage and kills over SQLite and PostgreSQL"
ninja -C "$root/build" fleet_reliability_test tallygate-collector
"$root/build/tests/fleet_reliability_test" 2>"$out/collector.stderr" | tee "$out/collector.txt" || status=1
fuzz_status=0
if [ "$fuzz_seconds" != 0 ]; then
  echo "== fuzz targets, $fuzz_seconds s each"
  TALLYGATE_FUZZ_BUILD="$root/build-fuzz" "$root/fuzz/run.sh" "$fuzz_seconds" | tee "$out/fuzz.txt" || fuzz_status=1
  ((fuzz_status == 0)) || status=1
fi

{
  cat "$out/plain.md"
  echo
  echo "### Under the sanitizers"
  echo
  echo "$((exchanges / 10)) exchanges, hostile peers and device loss in the build with AddressSanitizer,"
  echo "LeakSanitizer and UBSan (slack 2 s for the slower build): exit status $sanitized"
  echo "($( ((sanitized)) && echo "see build/reliability/sanitize.stderr" || echo "no leak, no error reported")),"
  grep -h '^Rules broken' "$out/sanitize.md" 2>/dev/null | tr '[:upper:]' '[:lower:]' || echo "no report"
  if [ "$fuzz_seconds" != 0 ]; then
    echo
    echo "### Fuzz targets, $fuzz_seconds s each"
    echo
    echo '```'
    grep -A20 '^target ' "$out/fuzz.txt" | grep -v '^==' || true
    echo '```'
  fi
} >"$out/report.md"

if ((update_docs)); then
  doc=$root/docs/reliability.md
  awk -v report="$out/report.md" '
    /<!-- figures:begin -->/ { print; while ((getline line < report) > 0) print line; skipping = 1; next }
    /<!-- figures:end -->/ { skipping = 0 }
    !skipping { print }' "$doc" >"$doc.new"
  mv "$doc.new" "$doc"
  echo "== figures written to docs/reliability.md"
fi
echo "== reliability: $( ((status)) && echo FAILED || echo "no rule broken" ); report in $out/report.md"
exit $status

#!/usr/bin/env bash
# The README's main jobs, run as a newcomer would run them but on a build that
# is already made: scripts/demo.sh without a display (it must print the 300
# collected records), scripts/demo.sh under Xvfb (DemoConsole opens, takes its
# screenshot and ends) and scripts/collector-demo.sh. A moved program or a
# renamed option fails here.
#
#   tests/docs/readme_commands.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$(cd "${1:?usage: readme_commands.sh SOURCE_DIR BUILD_DIR}" && pwd)
export TALLYGATE_BUILD
TALLYGATE_BUILD=$(cd "${2:?usage: readme_commands.sh SOURCE_DIR BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

echo "== scripts/demo.sh without a display"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$root/scripts/demo.sh" >"$work/demo.out" 2>&1 || status=$?
records=$(awk '/^== .*DataRecordSet_original.txt$/ {on = 1; next} on && NF' "$work/demo.out" | wc -l)
if [ "$status" != 0 ] || [ "$records" != 300 ]; then
  tail -20 "$work/demo.out"
  fail "scripts/demo.sh exited with $status after printing $records records (expected 0 and 300)"
else
  echo "exit status 0, 300 collected records printed"
fi

echo "== scripts/demo.sh with a display (Xvfb)"
if ! command -v xvfb-run >/dev/null; then
  fail "xvfb-run is missing (Debian package xvfb)"
else
  status=0
  xvfb-run -a -s "-screen 0 1366x768x24" "$root/scripts/demo.sh" --screenshot "$work/window.png" \
    >"$work/window.out" 2>&1 || status=$?
  if [ "$status" != 0 ] || [ "$(head -c 4 "$work/window.png" 2>/dev/null | tail -c 3)" != PNG ]; then
    tail -20 "$work/window.out"
    fail "scripts/demo.sh under Xvfb exited with $status without DemoConsole's screenshot"
  else
    echo "exit status 0, DemoConsole opened and saved its window ($(stat -c %s "$work/window.png") bytes of PNG)"
  fi
fi

echo "== scripts/collector-demo.sh"
status=0
"$root/scripts/collector-demo.sh" >"$work/collector.out" 2>&1 || status=$?
if [ "$status" != 0 ] || ! grep -q '^terminal,card_hex,card,' "$work/collector.out" ||
  ! grep -q '^hr-drop-.*\.csv: [1-9][0-9]* punches$' "$work/collector.out" ||
  ! grep -q '^hr-drop (folder .*): [0-9]* to deliver' "$work/collector.out" ||
  ! grep -q '^the fake ERPNext site holds: [1-9][0-9]* check-ins$' "$work/collector.out" ||
  ! grep -q '^  [1-9][0-9]* refused punches' "$work/collector.out" ||
  ! grep -q '^  erp: made at .*, 450 employees, 450 added' "$work/collector.out"; then
  tail -20 "$work/collector.out"
  fail "scripts/collector-demo.sh exited with $status (expected 0, an export, every punch delivered into files, check-ins and refused punches of the fake ERPNext site, and its 450 employees made cardholders)"
else
  echo "exit status 0, $(grep -c '^gate-[0-9] ' "$work/collector.out") terminals in its status, an export, $(grep -c '^hr-drop-' "$work/collector.out") files delivered"
fi
exit "$failed"

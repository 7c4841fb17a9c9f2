#!/usr/bin/env bash
# The main job on a simulated terminal: installs what is needed, builds the
# programs it runs (DemoConsole only when there is a display), starts tallygate-sim (300 records, 20 cards) on TCP and on a
# pseudo-terminal serial bus, registers the built library in a temporary
# registration store, and then
#   - with a display: opens DemoConsole connected to the terminal over TCP
#     (COM2, the window's default port, is the simulated bus); options given
#     to the script go to DemoConsole (e.g. --screenshot FILE);
#   - without one: collects the records with `tallygate collect` and prints
#     the collected file.
#
#   scripts/demo.sh [DemoConsole options]
#   TALLYGATE_BUILD=FOLDER scripts/demo.sh   uses the programs built in FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/programs.sh
. "$root/scripts/programs.sh"
display=${DISPLAY:-}${WAYLAND_DISPLAY:-}
programs=(TALLYGATE_V70 tallygate-regsvr tallygate-sim)
if [ -n "$display" ]; then programs+=(DemoConsole); else programs+=(tallygate); fi
build_programs "$root/build" "${programs[@]}"

work=$(mktemp -d)
cleanup() {
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT

start_sim "$work/sim.out" --tcp-port 0 --pty --address 1 --records 300 --cards 20
port=$(awk '$1 == "tcp" {print $3}' "$work/sim.out")
pty=$(awk '$1 == "pty" {print $2}' "$work/sim.out")
echo "simulated terminal 1: TCP 127.0.0.1:$port, serial bus $pty (COM2)"

# A private registration store, settings folder and window settings.
export TALLYGATE_REGISTRY=$work/components
export TALLYGATE_HOME=$work
export TALLYGATE_SYSTEM_LOCALE=C
export TALLYGATE_COM2=$pty
export XDG_CONFIG_HOME=$work/config
"$tallygate_regsvr" "$tallygate_library"

if [ -n "$display" ]; then
  echo "opening DemoConsole; collected files go to $(dirname "$demo_console")"
  "$demo_console" --tcp "127.0.0.1:$port" --address 1 "$@"
else
  echo "no display: collecting with tallygate collect"
  status=0
  "$tallygate_cli" collect --tcp "127.0.0.1:$port" --addr 1 --dir "$work" || status=$?
  echo
  echo "== $work/DataRecordSet_original.txt"
  cat "$work/DataRecordSet_original.txt"
  exit "$status"
fi

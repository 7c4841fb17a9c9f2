#!/usr/bin/env bash
# The main job on a simulated terminal: installs what is needed, builds,
# starts tallygate-sim (300 records, 20 cards) on TCP and on a
# pseudo-terminal serial bus, registers the built library in a temporary
# registration store, and then
#   - with a display: opens DemoConsole connected to the terminal over TCP
#     (COM2, the window's default port, is the simulated bus);
#   - without one: collects the records with `tallygate collect` and prints
#     the collected file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"

work=$(mktemp -d)
out=$work/sim.out
sim_pid=
holder=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# stdin stays open (the simulator's control channel) while it runs.
mkfifo "$work/control"
sleep infinity >"$work/control" &
holder=$!
"$build/sim/tallygate-sim" --tcp-port 0 --pty --address 1 --records 300 --cards 20 --quiet \
  <"$work/control" >"$out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^ready' "$out" && break; sleep 0.1; done
port=$(awk '$1 == "tcp" {print $3}' "$out")
pty=$(awk '$1 == "pty" {print $2}' "$out")
[ -n "$port" ] || { echo "tallygate-sim did not start" >&2; exit 1; }
echo "simulated terminal 1: TCP 127.0.0.1:$port, serial bus $pty (COM2)"

# A private registration store, settings folder and window settings.
export TALLYGATE_REGISTRY=$work/components
export TALLYGATE_HOME=$work
export TALLYGATE_SYSTEM_LOCALE=C
export TALLYGATE_COM2=$pty
export XDG_CONFIG_HOME=$work/config
"$build/tools/tallygate-regsvr" "$build/link/libTALLYGATE_V70.so"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "opening DemoConsole; collected files go to $build/demo"
  "$build/demo/DemoConsole" --tcp "127.0.0.1:$port" --address 1
else
  echo "no display: collecting with tallygate collect"
  status=0
  "$build/tools/tallygate" collect --tcp "127.0.0.1:$port" --addr 1 --dir "$work" || status=$?
  echo
  echo "== $work/DataRecordSet_original.txt"
  cat "$work/DataRecordSet_original.txt"
  exit "$status"
fi

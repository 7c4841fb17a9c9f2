#!/usr/bin/env bash
# The main job on a simulated terminal: installs what is needed, builds,
# starts tallygate-sim with a TCP listener and a serial bus on a
# pseudo-terminal, and drives the terminal commands over both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"

work=$(mktemp -d)
out=$work/sim.out
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

# stdin stays open (the simulator's control channel) while it runs.
mkfifo "$work/control"
sleep infinity >"$work/control" &
holder=$!
"$build/sim/tallygate-sim" --tcp-port 0 --pty --address 1 --records 300 --cards 20 --quiet \
  <"$work/control" >"$out" &
sim_pid=$!
trap 'kill $sim_pid $holder 2>/dev/null || true; wait $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

for _ in $(seq 100); do grep -q '^ready' "$out" && break; sleep 0.1; done
port=$(awk '$1 == "tcp" {print $3}' "$out")
pty=$(awk '$1 == "pty" {print $2}' "$out")
echo "simulated terminal: TCP 127.0.0.1:$port, serial bus $pty"

export TALLYGATE_HOME=$work
export TALLYGATE_SYSTEM_LOCALE=C

echo
echo "== over TCP"
"$build/tools/tallygate-first-commands" --tcp "127.0.0.1:$port" --addr 1

echo
echo "== over the serial bus (COM1 = $pty)"
TALLYGATE_COM1=$pty "$build/tools/tallygate-first-commands" --com 1 --addr 1

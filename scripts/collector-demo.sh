#!/usr/bin/env bash
# The collector on a simulated fleet: installs what is needed, builds
# tallygate-sim and tallygate-collector, starts tallygate-sim with five TCP terminals (300 records each,
# punches arriving), then runs tallygate-collector: check-config, two polls
# (the second fetches only what came meanwhile), status, the first lines
# of an export of today's punches as CSV, the service run for a few
# seconds delivering every punch into a drop folder, a whole file each 2 s,
# and then into a fake ERPNext / Frappe HR site (tallygate-fake-hr) that
# knows 450 of the 500 cardholders: the others' punches are refused and
# listed by deliver status.
#
#   TALLYGATE_BUILD=FOLDER scripts/collector-demo.sh   uses the programs built in FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/programs.sh
. "$root/scripts/programs.sh"
build_programs "$root/build" tallygate-sim tallygate-collector tallygate-fake-hr

work=$(mktemp -d)
cleanup() {
  [ -n "${hr_pid:-}" ] && kill "$hr_pid" 2>/dev/null
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT

start_sim "$work/sim.out" --tcp-terminals 5 --tcp-port 0 --records 300 --cards 500 --punch-rate 2

config=$work/collector.toml
printf 'database = "sqlite:%s/punches.db"\npoll_interval = "1s"\n' "$work" >"$config"
n=0
while read -r _ _ port _; do
  n=$((n + 1))
  printf '[[terminal]]\nname = "gate-%d"\ntcp = "127.0.0.1:%s"\n' "$n" "$port" >>"$config"
done < <(grep '^tcp ' "$work/sim.out")

collector=$tallygate_collector
echo "== tallygate-collector check-config"
"$collector" --config "$config" check-config
echo "== once (first collection)"
"$collector" --config "$config" once
sleep 3
echo "== once (only the punches that came since)"
"$collector" --config "$config" once
echo "== status"
"$collector" --config "$config" status
today=$(date +%F)
echo "== export of today's punches ($today), first lines"
# Whole into a file, then its head: export piped into head would be ended by
# SIGPIPE once head has its lines.
"$collector" --config "$config" export --from "$today" --to "$today" >"$work/today.csv"
head -8 "$work/today.csv"
echo "($(($(wc -l <"$work/today.csv") - 1)) punches today)"
echo "== run for 7 s, delivering into a drop folder, a file every 2 s"
mkdir "$work/drop"
printf '[[deliver]]\nname = "hr-drop"\nkind = "folder"\npath = "%s"\nevery = "2s"\n' \
  "$work/drop" >>"$config"
"$collector" --config "$config" --log-level warning run &
service=$!
sleep 7
kill -TERM "$service"
wait "$service"
for file in "$work/drop"/*; do
  echo "$(basename "$file"): $(($(wc -l <"$file") - 1)) punches"
done
"$collector" --config "$config" deliver status
echo "== run for 5 s, delivering into a fake ERPNext site as well (450 of 500 employees)"
"$tallygate_fake_hr" erpnext 450 >"$work/hr.out" &
hr_pid=$!
for _ in $(seq 50); do grep -q '^url ' "$work/hr.out" && break; sleep 0.1; done
printf 'the-key\n' >"$work/erp.key"
printf 'the-secret\n' >"$work/erp.secret"
printf '[[deliver]]\nname = "erpnext"\nkind = "erpnext"\nurl = "%s"\n' \
  "$(sed -n 's/^url //p' "$work/hr.out")" >>"$config"
printf 'api_key_file = "%s"\napi_secret_file = "%s"\nshift_types = ["Day shift"]\n' \
  "$work/erp.key" "$work/erp.secret" >>"$config"
"$collector" --config "$config" --log-level warning run 2>"$work/hr-run.log" &
service=$!
sleep 5
kill -TERM "$service"
wait "$service"
# Into a file first, as the export above: piped into head, the status
# would be ended by SIGPIPE once head has its lines.
"$collector" --config "$config" deliver status >"$work/status.txt"
sed -n '/^erpnext/,$p' "$work/status.txt" | sed -n 1,6p
echo "== cardholders from the same fake ERPNext site: what a read would change, then made"
printf '[[holders_from]]\nname = "erp"\nkind = "erpnext"\nurl = "%s"\n' \
  "$(sed -n 's/^url //p' "$work/hr.out")" >>"$config"
printf 'api_key_file = "%s"\napi_secret_file = "%s"\n' "$work/erp.key" "$work/erp.secret" >>"$config"
printf 'staff_field = "attendance_device_id"\ndefault_groups = ["*"]\n' >>"$config"
"$collector" --config "$config" holders plan erp >"$work/plan.txt"
sed -n 1,3p "$work/plan.txt"
"$collector" --config "$config" --log-level warning run 2>>"$work/hr-run.log" &
service=$!
sleep 3
kill -TERM "$service"
wait "$service"
"$collector" --config "$config" status >"$work/status.txt"
sed -n '/^holder sources/,$p' "$work/status.txt" | sed -n 1,3p
kill -TERM "$hr_pid"
wait "$hr_pid"
hr_pid=
echo "the fake ERPNext site holds: $(sed -n 's/^checkins //p' "$work/hr.out") check-ins"

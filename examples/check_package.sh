#!/usr/bin/env bash
# Checks the installed package of a build: installs it into a temporary
# folder, builds examples/ against it with find_package(Tallygate), runs
# count_records against tallygate-sim (300 records, all must come), and
# compiles a program with the flags pkg-config gives for each .pc file.
#
#   examples/check_package.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: examples/check_package.sh BUILD_DIR}" && pwd)

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

# Staged (DESTDIR), which leaves the system's registration store alone, and
# at another place than the prefix it was installed for: what is installed
# must find its files from where it is.
DESTDIR=$work/stage cmake --install "$build" --prefix /opt/tallygate >/dev/null
prefix=$work/stage/opt/tallygate
! grep -rl --include='*.cmake' --include='*.pc' "$build" "$prefix" ||
  fail "installed files name the build folder"

cmake -S "$root/examples" -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Wconversion -Werror" >/dev/null
ninja -C "$work/examples" >/dev/null

"$build/sim/tallygate-sim" --tcp-port 0 --address 1 --records 300 --quiet \
  </dev/null >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^ready' "$work/sim.out" && break; sleep 0.1; done
port=$(awk '$1 == "tcp" {print $3}' "$work/sim.out")
[ -n "$port" ] || fail "tallygate-sim did not start"

status=0
"$work/examples/count_records" --tcp "127.0.0.1:$port" --address 1 >"$work/count.out" || status=$?
records=$(grep -cE '^ *[0-9]+  card ' "$work/count.out" || true)
if [ "$status" != 0 ] || [ "$records" != 300 ]; then
  cat "$work/count.out"
  fail "count_records exited with $status after $records record lines (expected 0 and 300)"
fi
echo "count_records: 300 records from tallygate-sim, exit status 0"

# The Python module, where the build made one: imported from the installed
# prefix alone, it collects the same 300 records.
python_package=$prefix/lib/python3/dist-packages
if [ -d "$python_package/tallygate" ]; then
  records=$(cd "$work" && PYTHONPATH=$python_package /usr/bin/python3 -c "
import tallygate
with tallygate.Line.tcp('127.0.0.1', $port) as line:
    print(sum(1 for _ in line.terminal(1).records()))") || fail "import tallygate from $python_package failed"
  [ "$records" = 300 ] || fail "the installed Python module collected $records records (expected 300)"
  echo "import tallygate (installed): 300 records from tallygate-sim"
fi

export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name tallygate-terminal.pc)")
checks=(
  'tallygate-terminal|#include "tallygate/terminal.h"
int main() { return tallygate::Line::Open(tallygate::TcpEndpoint{"127.0.0.1", 1}) ? 0 : 1; }'
  'tallygate-connect-v70|#include "tallygate/connect_v70.h"
int main() { return tallygate::Connect_v70().Ver().empty() ? 1 : 0; }'
)
for check in "${checks[@]}"; do
  package=${check%%|*}
  printf '%s\n' "${check#*|}" >"$work/$package.cpp"
  # shellcheck disable=SC2046  # pkg-config's words are separate arguments
  c++ -std=c++20 -o "$work/$package" "$work/$package.cpp" $(pkg-config --cflags --libs "$package") ||
    fail "a program does not build with pkg-config's flags for $package"
  echo "pkg-config $package: a program builds and links"
done

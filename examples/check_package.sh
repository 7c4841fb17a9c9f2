#!/usr/bin/env bash
# Checks an installed TALLYGATE against tallygate-sim (300 records, all must
# come): the tallygate command through the registration store, examples/
# built with find_package(Tallygate) and count_records run, the Python
# module, and a program compiled with the flags pkg-config gives for each
# .pc file.
#
#   examples/check_package.sh BUILD_DIR   the build's install, staged in a
#                                         temporary folder and registered in
#                                         a temporary store
#   examples/check_package.sh --system    what the Debian packages installed
#                                         under /usr (scripts/check-packages.sh):
#                                         found where the system looks, with no
#                                         search path given, registered in the
#                                         system-wide store by the package
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: examples/check_package.sh BUILD_DIR | --system"
[ $# = 1 ] || { echo "$usage" >&2; exit 2; }

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

# No per-user registration store or CMake package registry of the caller's.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
unset TALLYGATE_REGISTRY PYTHONPATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH

if [ "$1" = --system ]; then
  prefix=/usr
  cmake_search=()
else
  build=$(cd "$1" && pwd)
  # Staged (DESTDIR), which leaves the system's registration store alone, and
  # at another place than the prefix it was installed for: what is installed
  # must find its files from where it is.
  DESTDIR=$work/stage cmake --install "$build" --prefix /opt/tallygate >/dev/null
  prefix=$work/stage/opt/tallygate
  ! grep -rl --include='*.cmake' --include='*.pc' "$build" "$prefix" ||
    fail "installed files name the build folder"
  cmake_search=(-DCMAKE_PREFIX_PATH="$prefix")
  export PKG_CONFIG_PATH
  PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name tallygate-terminal.pc)")
  export PYTHONPATH=$prefix/lib/python3/dist-packages
  export TALLYGATE_REGISTRY=$work/components
  library=$(find "$prefix" -name 'libTALLYGATE_V70.so.[0-9]' -print -quit)
  "$prefix/bin/tallygate-regsvr" "$library" >/dev/null || fail "tallygate-regsvr $library failed"
fi
cd "$work"

cmake -S "$root/examples" -B "$work/examples" -G Ninja "${cmake_search[@]}" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Wconversion -Werror" >/dev/null
found=$(sed -n 's/^Tallygate_DIR:PATH=//p' "$work/examples/CMakeCache.txt")
[[ $found == "$prefix"/* ]] || fail "find_package(Tallygate) found $found, not the package under $prefix"
ninja -C "$work/examples" >/dev/null

"$prefix/bin/tallygate-sim" --tcp-port 0 --address 1 --records 300 --quiet \
  </dev/null >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^ready' "$work/sim.out" && break; sleep 0.1; done
port=$(awk '$1 == "tcp" {print $3}' "$work/sim.out")
[ -n "$port" ] || fail "tallygate-sim did not start"

# The command creates the library's object by name from the registration
# store; GatherRecordSum's by-reference count comes back as "out".
"$prefix/bin/tallygate" --tcp "127.0.0.1:$port" call GatherRecordSum 1 @0 @ >"$work/call.out" ||
  fail "tallygate call GatherRecordSum exited with $?: $(cat "$work/call.out")"
records=$(python3 -c 'import json, sys; print(json.load(sys.stdin)["out"]["VarRecordCount"])' \
  <"$work/call.out") || fail "tallygate printed no record count: $(cat "$work/call.out")"
[ "$records" = 300 ] || fail "tallygate counted $records records (expected 300)"
echo "tallygate call GatherRecordSum: 300 records on tallygate-sim"

status=0
"$work/examples/count_records" --tcp "127.0.0.1:$port" --address 1 >"$work/count.out" || status=$?
records=$(grep -cE '^ *[0-9]+  card ' "$work/count.out" || true)
if [ "$status" != 0 ] || [ "$records" != 300 ]; then
  cat "$work/count.out"
  fail "count_records exited with $status after $records record lines (expected 0 and 300)"
fi
echo "count_records (find_package(Tallygate)): 300 records from tallygate-sim, exit status 0"

# The Python module, where the build made one: the installed one, which
# collects the same 300 records.
python_package=$prefix/lib/python3/dist-packages
if [ -d "$python_package/tallygate" ]; then
  read -r module records < <(/usr/bin/python3 -c "
import tallygate
with tallygate.Line.tcp('127.0.0.1', $port) as line:
    print(tallygate.__file__, sum(1 for _ in line.terminal(1).records()))") ||
    fail "import tallygate failed"
  [[ $module == "$python_package"/* ]] || fail "import tallygate found $module, not the module under $python_package"
  [ "$records" = 300 ] || fail "the installed Python module collected $records records (expected 300)"
  echo "import tallygate ($module): 300 records from tallygate-sim"
fi

checks=(
  'tallygate-terminal|#include "tallygate/terminal.h"
int main() { return tallygate::Line::Open(tallygate::TcpEndpoint{"127.0.0.1", 1}) ? 0 : 1; }'
  'tallygate-connect-v70|#include "tallygate/connect_v70.h"
int main() { return tallygate::Connect_v70().Ver().empty() ? 1 : 0; }'
)
for check in "${checks[@]}"; do
  package=${check%%|*}
  printf '%s\n' "${check#*|}" >"$work/$package.cpp"
  from=$(realpath -m "$(pkg-config --variable=prefix "$package")")
  [ "$from" = "$(realpath "$prefix")" ] || fail "pkg-config found $package under $from, not $prefix"
  # shellcheck disable=SC2046  # pkg-config's words are separate arguments
  c++ -std=c++20 -o "$work/$package" "$work/$package.cpp" $(pkg-config --cflags --libs "$package") ||
    fail "a program does not build with pkg-config's flags for $package"
  echo "pkg-config $package: a program builds and links"
done

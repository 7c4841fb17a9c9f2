# Sourced by the scripts that run TALLYGATE's programs: where each program is
# in a build folder, building only the programs a script runs, and starting
# tallygate-sim. The build folder's layout is written here once.
#
# TALLYGATE_BUILD=FOLDER makes the scripts use the programs already built in
# FOLDER (CI runs them against the build it made for the tests) instead of
# installing packages and building into build/.

# Sets the program variables for build folder $1, and program_file: each
# program's CMake target and its file.
programs_in() {
  build=$1
  tallygate_library=$build/link/libTALLYGATE_V70.so
  tallygate_cli=$build/tools/tallygate
  tallygate_regsvr=$build/tools/regsvr/tallygate-regsvr
  tallygate_sim=$build/sim/tallygate-sim
  tallygate_collector=$build/collector/app/tallygate-collector
  demo_console=$build/demo/DemoConsole
  tallygate_fake_hr=$build/fakes/hr/tallygate-fake-hr
  declare -gA program_file=(
    [TALLYGATE_V70]=$tallygate_library [tallygate]=$tallygate_cli
    [tallygate-regsvr]=$tallygate_regsvr [tallygate-sim]=$tallygate_sim
    [tallygate-collector]=$tallygate_collector [DemoConsole]=$demo_console
    [tallygate-fake-hr]=$tallygate_fake_hr)
}

# build_programs FOLDER TARGET...
#
# Uses $TALLYGATE_BUILD when set (and checks that the programs are there);
# otherwise installs what building needs and builds only the given programs
# (CMake targets: TALLYGATE_V70, whose code tables come with it, tallygate,
# tallygate-regsvr, tallygate-sim, tallygate-collector, DemoConsole, and
# tallygate-fake-hr, the fake HR systems of fakes/hr) into
# FOLDER. A folder made anew is a Release build (debug information would
# make it a third slower) without the tests and the Python module, which
# need more packages; an existing folder keeps its options.
build_programs() {
  local folder=$1 target
  shift
  if [ -n "${TALLYGATE_BUILD:-}" ]; then
    programs_in "$(cd "$TALLYGATE_BUILD" && pwd)"
    for target in "$@"; do
      [ -e "${program_file[$target]}" ] || {
        echo "TALLYGATE_BUILD=$TALLYGATE_BUILD has no ${program_file[$target]}: build it with scripts/build.sh" >&2
        exit 1
      }
    done
    return
  fi
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  programs_in "$folder"
  "$root/scripts/setup.sh" programs
  local options=()
  [ -f "$build/CMakeCache.txt" ] ||
    options+=(-DCMAKE_BUILD_TYPE=Release -DTALLYGATE_BUILD_TESTS=OFF -DTALLYGATE_BUILD_PYTHON=OFF)
  cmake -S "$root" -B "$build" -G Ninja ${options[@]+"${options[@]}"} >/dev/null
  ninja -C "$build" "$@"
}

# Starts tallygate-sim with the given options, its output in file $1; waits
# for its "ready" line. Sets sim_pid.
start_sim() {
  local out=$1
  shift
  "$tallygate_sim" "$@" --quiet </dev/null >"$out" &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^ready' "$out" && return
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "tallygate-sim did not start:" >&2
  cat "$out" >&2
  exit 1
}

stop_sim() {
  if [ -n "${sim_pid:-}" ]; then
    kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  fi
  return 0
}

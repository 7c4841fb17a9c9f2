#!/usr/bin/env bash
# Installs what TALLYGATE needs on Debian. Run as root (or with sudo
# available); packages already present are left alone.
#
#   scripts/setup.sh            everything: build, tests, packages
#   scripts/setup.sh programs   only what building the programs needs
#                               (scripts/demo.sh, scripts/collector-demo.sh)
set -euo pipefail

# Building the library, the tools, the simulator, the collector and DemoConsole.
programs=(cmake ninja-build g++ pkg-config libcli11-dev nlohmann-json3-dev opencc libopencc-dev
  qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei libtomlplusplus-dev libhowardhinnant-date-dev
  libsqlite3-dev libpq-dev libcpp-httplib-dev libcurl4-openssl-dev libssl-dev)
# The tests: GoogleTest, the sanitizers and fuzzers (clang), a display for
# DemoConsole, a PostgreSQL server, a browser, the Python module and pytest.
tests=(libgtest-dev libgmock-dev googletest clang libclang-rt-14-dev xvfb xauth postgresql
  chromium chromium-driver python3-selenium pybind11-dev python3-pytest python3-dev faketime
  openssl curl)
# Debian packages (scripts/package.sh) and their install check.
packaging=(dpkg-dev file man-db)

case "${1:-all}" in
  programs) packages=("${programs[@]}") ;;
  all) packages=("${programs[@]}" "${tests[@]}" "${packaging[@]}") ;;
  *) echo "usage: $0 [programs|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

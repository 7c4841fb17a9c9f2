#!/usr/bin/env bash
# Installs what TALLYGATE needs to build and test on Debian. Run as root (or
# with sudo available); packages already present are left alone.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev googletest opencc libopencc-dev clang libclang-rt-14-dev qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei xvfb xauth libtomlplusplus-dev libhowardhinnant-date-dev libsqlite3-dev libpq-dev postgresql libcpp-httplib-dev chromium chromium-driver python3-selenium pybind11-dev python3-pytest python3-dev)

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

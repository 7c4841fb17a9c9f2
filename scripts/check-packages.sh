#!/usr/bin/env bash
# Installs the Debian packages that scripts/package.sh made, checks them from
# the installed files alone, removes and purges them, and checks after each
# that nothing of them is left. Run as root on a machine where no TALLYGATE
# package is installed (CI's); it purges the packages again, also when a
# check fails.
#
#   scripts/check-packages.sh DEB_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "check-packages: FAILED: $*" >&2; exit 1; }
[ $# = 1 ] || { echo "usage: scripts/check-packages.sh DEB_FOLDER" >&2; exit 2; }
folder=$(cd "$1" && pwd)
[ "$(id -u)" = 0 ] || fail "run as root: the check installs and removes packages"

names=(tallygate tallygate-collector python3-tallygate tallygate-dev tallygate-demo)
declare -A deb
for file in "$folder"/*.deb; do
  [ -e "$file" ] || break
  deb[$(dpkg-deb -f "$file" Package)]=$file
done
for name in "${names[@]}"; do
  [ -n "${deb[$name]:-}" ] || fail "no $name package in $folder"
done
version=$(dpkg-deb -f "${deb[tallygate]}" Version)

# The packages' state: "installed", "config-files" or "not-installed".
state() { dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || echo not-installed; }
for name in "${names[@]}"; do
  [ "$(state "$name")" = not-installed ] ||
    fail "$name is on this machine already ($(state "$name")); the check installs and purges it itself"
done

work=$(mktemp -d)
ours=0
cleanup() {
  status=$?
  if [ "$ours" = 1 ]; then
    echo "check-packages: purging the packages after the failure" >&2
    dpkg --purge "${names[@]}" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -y -q --no-install-recommends -o Dpkg::Use-Pty=0)
started=$SECONDS

# The packages' files (folders aside) must not be there before the install.
for name in "${names[@]}"; do
  dpkg-deb --fsys-tarfile "${deb[$name]}" | tar -t | sed -n 's|^\.\(/.*[^/]\)$|\1|p' >"$work/$name.contents"
  while read -r path; do
    [ ! -e "$path" ] || fail "$path of $name is on this machine already (installed by hand?)"
  done <"$work/$name.contents"
done
# What is in each folder on the way to the packages' files, and all of /etc:
# compared with after the removal, it shows what the maintainer scripts or
# the programs wrote that the packages do not list (the registration store,
# files written beside the library).
awk -F/ '{ p = ""; for (i = 2; i < NF; i++) { p = p "/" $i; print p } }' "$work"/*.contents |
  sort -u >"$work/folders"
snapshot() {
  while read -r dir; do
    [ ! -d "$dir" ] || find "$dir" -mindepth 1 -maxdepth 1
  done <"$work/folders"
  find /etc -xdev
}
snapshot | sort -u >"$work/before"

# ---- 1. tallygate-collector alone is refused -----------------------------------
if "${apt[@]}" install "${deb[tallygate-collector]}" >"$work/alone.log" 2>&1; then
  ours=1
  fail "apt-get installed tallygate-collector without tallygate"
fi
grep -qF "tallygate-collector : Depends: tallygate (= $version)" "$work/alone.log" || {
  cat "$work/alone.log"
  fail "apt-get refused tallygate-collector, but not for its dependency on tallygate (= $version)"
}
[ "$(state tallygate-collector)" = not-installed ] ||
  fail "the refused tallygate-collector is $(state tallygate-collector)"
[ -z "$(dpkg --audit)" ] || fail "dpkg --audit after the refusal: $(dpkg --audit)"
while read -r path; do
  [ ! -e "$path" ] || fail "the refused tallygate-collector left $path"
done <"$work/tallygate-collector.contents"
echo "tallygate-collector without tallygate: refused (Depends: tallygate (= $version)), nothing unpacked"

# ---- 2. Everything installs -------------------------------------------------------
ours=1
debs=()
for name in "${names[@]}"; do debs+=("${deb[$name]}"); done
"${apt[@]}" install "${debs[@]}" >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  fail "apt-get install of the packages failed"
}
for name in "${names[@]}"; do
  [ "$(state "$name")" = installed ] || fail "$name is $(state "$name") after apt-get install"
  dpkg -L "$name" | sort >"$work/$name.files"
  dpkg-query -W -f='${Conffiles}\n' "$name" | awk 'NF {print $1}' >>"$work/conffiles"
done
echo "installed: ${names[*]} ($version)"

# ---- 3. The installed files alone ----------------------------------------------------
# A clean environment: no build folder on PATH, no PYTHONPATH, no registration
# store but the system's; run from a temporary folder.
mkdir -p "$work/run/home"
in_clean() { (cd "$work/run" && env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$work/run/home" \
  LANG=C.UTF-8 "$@"); }

shown=$(in_clean tallygate --version) || fail "tallygate --version failed"
[[ $shown == *"${version%-*}"* ]] || fail "tallygate --version printed '$shown', not ${version%-*}"
echo "tallygate --version: $shown"

# The command through the system-wide store, count_records built through
# find_package(Tallygate), the Python module, pkg-config.
in_clean "$root/examples/check_package.sh" --system || fail "examples/check_package.sh --system"

example=$(grep -m1 '/collector\.example\.toml$' "$work/tallygate-collector.files") ||
  fail "tallygate-collector has no example configuration"
in_clean tallygate-collector --config "$example" check-config >"$work/check-config.out" 2>&1 || {
  cat "$work/check-config.out"
  fail "tallygate-collector check-config $example"
}
echo "tallygate-collector check-config $example: accepted"

mapfile -t pages < <(sed -n 's|^/usr/share/man/man[1-8]/\([^/]*\)\.[1-8]\.gz$|\1|p' "$work"/*.files | sort)
for page in "${pages[@]}"; do
  in_clean man -w "$page" >/dev/null || fail "man -w $page finds no manual page"
done
[[ " ${pages[*]} " == *" tallygate-collector "* ]] || fail "no manual page of tallygate-collector"
echo "manual pages found by man -w: ${pages[*]}"

unit=$(grep -m1 '/systemd/system/tallygate-collector\.service$' "$work/tallygate-collector.files") ||
  fail "tallygate-collector has no systemd unit"
[ -f "$unit" ] || fail "$unit is listed but not there"
[ -z "$(find /etc/systemd -name 'tallygate-collector*' 2>/dev/null)" ] ||
  fail "tallygate-collector.service is enabled: $(find /etc/systemd -name 'tallygate-collector*')"
if command -v systemctl >/dev/null; then
  enabled=$(systemctl is-enabled tallygate-collector.service 2>&1 || true)
  [ "$enabled" = disabled ] || fail "systemctl is-enabled tallygate-collector.service: $enabled"
fi
! pgrep -f '^(/usr/bin/)?tallygate-collector( |$)' >/dev/null || fail "a tallygate-collector runs after the install"
echo "systemd unit $unit: in place, disabled, not running"

# The cache is read whole first: `ldconfig -p | grep -q` under pipefail fails
# when grep stops reading at its match while ldconfig still writes (a cache
# listing longer than the pipe holds gets SIGPIPE).
ldconfig_has() { local cache; cache=$(ldconfig -p); grep -q "$1" <<<"$cache"; }
ldconfig_has 'libTALLYGATE_V70\.so\.' || fail "ldconfig's cache lacks libTALLYGATE_V70"
# DemoConsole starts with the installed library and Qt's offscreen platform.
in_clean timeout 60 env QT_QPA_PLATFORM=offscreen DemoConsole --screenshot "$work/demo.png" \
  >"$work/demo.out" 2>&1 || { cat "$work/demo.out"; fail "DemoConsole --screenshot failed"; }
[ -s "$work/demo.png" ] || fail "DemoConsole saved no picture of its window"
echo "DemoConsole: window drawn ($(stat -c %s "$work/demo.png") bytes of PNG)"

# ---- 4. Removal and purge leave nothing behind ----------------------------------------
# Configuration may stay after the removal, until the purge: conffiles. The
# library, run as root above, keeps its serial settings (TallySystem.ini)
# with root, never among the packages' files: one there would be left over.
sort -u "$work/conffiles" >"$work/configuration"

# $1: what was done; $2: the states the packages may be in now; $3: the
# files that may still be there.
check_gone() {
  local name path kept=()
  for name in "${names[@]}"; do
    [[ " $2 " == *" $(state "$name") "* ]] || fail "$name is $(state "$name") after $1"
  done
  # Of what dpkg -L listed, only folders other packages hold may remain.
  while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then kept+=("$path"); fi
  done < <(sort -u "$work"/*.files | grep -vx '/\.')
  if [ ${#kept[@]} -gt 0 ]; then
    { dpkg-query -S "${kept[@]}" 2>/dev/null || true; } | sed -n 's|^.*: \(/.*\)$|\1|p' | sort -u >"$work/held"
    left=$(printf '%s\n' "${kept[@]}" | sort | comm -23 - "$work/held" | comm -23 - "$3" | xargs)
    [ -z "$left" ] || fail "after $1, still there: $left"
  fi
  snapshot | sort -u >"$work/after"
  left=$(comm -13 "$work/before" "$work/after" | comm -23 - "$3" | xargs)
  [ -z "$left" ] || fail "after $1, written since the install and still there: $left"
  left=$(comm -23 "$work/before" "$work/after" | xargs)
  [ -z "$left" ] || fail "after $1, gone though there before the install: $left"
  ! ldconfig_has 'libTALLYGATE_V70' || fail "after $1, ldconfig's cache still has libTALLYGATE_V70"
}

"${apt[@]}" remove "${names[@]}" >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
check_gone "apt-get remove" "config-files not-installed" "$work/configuration"
configuration_left=$(comm -12 "$work/configuration" "$work/after" | xargs)
echo "removed: nothing left but configuration (${configuration_left:-none}); the registration store and /etc as before"

# Those without configuration were purged by the removal already.
mapfile -t kept < <(for name in "${names[@]}"; do [ "$(state "$name")" = not-installed ] || echo "$name"; done)
if [ ${#kept[@]} -gt 0 ]; then
  "${apt[@]}" purge "${kept[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge"; }
fi
check_gone "apt-get purge" "not-installed" /dev/null
ours=0
echo "purged: nothing left; /etc and the packages' folders as before the install"
echo "check-packages: all checks passed in $((SECONDS - started)) s"

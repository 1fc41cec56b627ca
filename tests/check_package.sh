#!/usr/bin/env bash
# Installation checks, run by CTest as package_install:
#  1. cmake --install into a temporary prefix puts every file in its place;
#  2. the installed start script runs the tool in the per-user data directory
#     with the help page linked in, wherever it is started from;
#  3. the Debian package built by CPack has the right file list and control
#     fields (dpkg-deb -c / -f). Installs nothing on the machine.
# Exits 77 (CTest: skipped) when dpkg-deb is missing and all else passed.
# Usage: tests/check_package.sh <build dir>
set -uo pipefail

build=$(cd "${1:?usage: check_package.sh <build dir>}" && pwd)
tmp=$(mktemp -d)
tool_pid=""
cleanup() {
  [[ -n "$tool_pid" ]] && kill "$tool_pid" 2>/dev/null && wait "$tool_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
check() { # check <what it pins> <command...>
  local name=$1
  shift
  if "$@"; then
    echo "PASS   $name"
  else
    echo "FAIL!  $name"
    failures=$((failures + 1))
  fi
}
contains() { grep -qxF -- "$2" <<<"$1"; }

installed=(bin/maintenance-tool bin/maintenance-demo bin/module-sim bin/kb-r5530-maintenance
  bin/kbmaint share/man/man1/kbmaint.1
  share/kb-r5530-maintenance/help.html share/applications/kb-r5530-maintenance.desktop
  share/icons/hicolor/64x64/apps/kb-r5530-maintenance.png)

# --- 1. cmake --install -------------------------------------------------------
prefix=$tmp/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL!  cmake --install"
  exit 1
fi
echo "Installed into $prefix:"
(cd "$prefix" && find . \( -type f -o -type l \) | sort | sed 's/^/  /')
listing=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
for file in "${installed[@]}"; do
  check "installed: $file" contains "$listing" "$file"
done
check "nothing else installed" test "$(wc -l <<<"$listing")" -eq "${#installed[@]}"
for program in maintenance-tool maintenance-demo module-sim kb-r5530-maintenance kbmaint; do
  check "executable: bin/$program" test -x "$prefix/bin/$program"
done
desktop=$prefix/share/applications/kb-r5530-maintenance.desktop
check "kbmaint --help lists its commands" bash -c '"$1/bin/kbmaint" --help | grep -q provision' _ "$prefix"
check "kbmaint manual page formats" bash -c 'grep -q "^.SH EXIT STATUS" "$1/share/man/man1/kbmaint.1"' _ "$prefix"
check "desktop entry starts the start script" grep -qx 'Exec=kb-r5530-maintenance' "$desktop"
check "desktop entry names the installed icon" grep -qx 'Icon=kb-r5530-maintenance' "$desktop"
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry is valid" desktop-file-validate "$desktop"
fi

# --- 2. the start script ------------------------------------------------------
# Starts the installed script from / with the given HOME and XDG_DATA_HOME
# (empty: unset) and waits until it has become the tool; sets tool_pid.
start_tool() {
  local home=$1 xdg=$2
  local unset_xdg=()
  [[ -z "$xdg" ]] && unset_xdg=(-u XDG_DATA_HOME)
  (cd / && exec env "${unset_xdg[@]}" HOME="$home" ${xdg:+XDG_DATA_HOME="$xdg"} \
    QT_QPA_PLATFORM=offscreen "$prefix/bin/kb-r5530-maintenance") >"$tmp/tool.log" 2>&1 &
  tool_pid=$!
  local deadline=$((SECONDS + 60))
  while [[ "$(readlink "/proc/$tool_pid/exe" 2>/dev/null)" != "$prefix/bin/maintenance-tool" ]]; do
    if ((SECONDS > deadline)) || ! kill -0 "$tool_pid" 2>/dev/null; then
      cat "$tmp/tool.log"
      return 1
    fi
    sleep 0.1 # polled until the script has exec'd the tool, at most 60 s
  done
}
stop_tool() {
  kill "$tool_pid" 2>/dev/null
  wait "$tool_pid" 2>/dev/null
  tool_pid=""
}

home=$tmp/home
mkdir -p "$home"
data=$home/.local/share/kb-r5530-maintenance
if start_tool "$home" ""; then
  check "first start: runs in ~/.local/share/kb-r5530-maintenance" \
    test "$(readlink "/proc/$tool_pid/cwd")" = "$data"
  check "first start: help page linked in" \
    test "$(readlink -f "$data/help.html")" = "$prefix/share/kb-r5530-maintenance/help.html"
  stop_tool
else
  check "first start: the script starts the tool" false
fi

xdg=$tmp/xdg
own=$xdg/kb-r5530-maintenance
mkdir -p "$own"
echo "<p>my own notes</p>" >"$own/help.html"
if start_tool "$home" "$xdg"; then
  check "XDG_DATA_HOME set: runs in \$XDG_DATA_HOME/kb-r5530-maintenance" \
    test "$(readlink "/proc/$tool_pid/cwd")" = "$own"
  check "XDG_DATA_HOME set: the user's own help page is kept" \
    grep -q "my own notes" "$own/help.html"
  stop_tool
else
  check "XDG_DATA_HOME set: the script starts the tool" false
fi

# --- 3. the Debian package ----------------------------------------------------
if ! command -v dpkg-deb >/dev/null; then
  ((failures > 0)) && exit 1
  echo "SKIP: dpkg-deb not found, the package checks are skipped (apt-get install dpkg)"
  exit 77
fi
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  echo "FAIL!  cpack"
  exit 1
fi
deb=$(ls "$tmp"/pkg/*.deb)
echo "Package $(basename "$deb"):"
dpkg-deb -f "$deb" | sed 's/^/  /'
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in "${installed[@]}"; do
  check "packaged: /usr/$file" contains "$files" "./usr/$file"
done
check "packaged: nothing outside /usr" test -z "$(grep -v '^\./usr/\|^\./$' <<<"$files")"
check "control: Package" test "$(dpkg-deb -f "$deb" Package)" = kb-r5530-maintenance
check "control: Version" test "$(dpkg-deb -f "$deb" Version)" = \
  "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
check "control: Architecture" test "$(dpkg-deb -f "$deb" Architecture)" = \
  "$(dpkg --print-architecture)"
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//; s/|.*//')
for package in libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5 \
  libqt5sql5-sqlite libc6 libstdc++6; do
  check "control: Depends on $package" contains "$depends" "$package"
done
check "control: Depends on libssl" grep -q '^libssl' <<<"$depends"
dpkg-deb -x "$deb" "$tmp/unpacked"
check "packaged start script holds no build-time path" \
  bash -c '! grep -q -e "$1" -e "$2" "$3"' _ "$build" "$tmp" "$tmp/unpacked/usr/bin/kb-r5530-maintenance"

((failures == 0)) || {
  echo "$failures check(s) failed"
  exit 1
}
echo "All installation checks passed"

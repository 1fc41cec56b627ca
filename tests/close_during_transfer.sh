#!/usr/bin/env bash
# Closing the window during an upgrade, on the real demo binary under Xvfb
# with openbox: Alt+F4 brings up the question; "否" (Esc) lets the upgrade
# finish and the window stay; "是" sends CAN to the module and the process
# ends within 3 s.
# Usage: close_during_transfer.sh <build dir>. Exit 77 when a tool is missing.
set -uo pipefail
build=$(cd "${1:?build dir}" && pwd)
demo="$build/maintenance-demo"
for need in Xvfb openbox xdotool wmctrl; do
  command -v "$need" >/dev/null || { echo "SKIP: $need not found"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work"/demo.err 2>/dev/null; exit 1; }
# Waits up to $1 tenths of a second for the command that follows to succeed.
until_true() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# A display no other server holds: Xvfb picks it and writes its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
until_true 100 grep -q . "$work/display" || fail "no X server"
export DISPLAY=:$(head -1 "$work/display") QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none
until_true 50 xdotool getdisplaygeometry >/dev/null 2>&1 || fail "no X server"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
until_true 100 wmctrl -m >/dev/null 2>&1 || { cat "$work/openbox.log"; fail "openbox did not start"; }

head -c 98304 /dev/urandom >"$work/fw.bin" # 96 blocks: about 5 s at 230400 baud

# Starts the demo into an upgrade and closes its window by Alt+F4 once the
# first block is through; leaves $demo_pid and $question set.
start_and_close() {
  (cd "$work" && exec "$demo" --upgrade fw.bin) >"$work/demo.out" 2>"$work/demo.err" &
  demo_pid=$!
  pids+=("$demo_pid")
  win=$(timeout 20 xdotool search --sync --onlyvisible --name '^KB-R5530$' | head -1)
  [[ -n "$win" ]] || fail "no window"
  until_true 100 grep -q 'block 1 ' "$work/demo.out" || fail "the upgrade did not start"
  xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4
  question=$(timeout 10 xdotool search --sync --onlyvisible --name '^提示$' | head -1)
  [[ -n "$question" ]] || fail "no question after Alt+F4"
  kill -0 "$demo_pid" 2>/dev/null || fail "the process ended before the answer"
}

# No: the upgrade completes and the window stays; a close then ends it as before.
start_and_close
xdotool windowactivate --sync "$question" key Escape
until_true 200 grep -A1 -q 'EOT$' "$work/demo.out" || fail "the upgrade did not complete"
grep -A1 'EOT$' "$work/demo.out" | grep -q '^-> 06' || fail "the module refused the image"
grep -q ' CAN$' "$work/demo.out" && fail "CAN sent after no"
kill -0 "$demo_pid" 2>/dev/null || fail "the process ended after no"
xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4
until_true 30 eval '! kill -0 $demo_pid 2>/dev/null' || fail "a close after the upgrade left the process"
echo "no: upgrade completed, then closed"

# Yes: CAN reaches the module, and the process is gone within 3 s.
start_and_close
xdotool windowactivate --sync "$question" key shift+Tab Return
answered=$(date +%s%N)
until_true 30 eval '! kill -0 $demo_pid 2>/dev/null' || fail "the process outlived its window"
ended_ms=$((($(date +%s%N) - answered) / 1000000))
grep -q '^<- 18 CAN$' "$work/demo.out" || fail "no CAN seen by the module"
grep -q 'EOT$' "$work/demo.out" && fail "the upgrade went on to its end"
echo "yes: CAN sent, process ended ${ended_ms} ms after the answer"

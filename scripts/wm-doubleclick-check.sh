#!/usr/bin/env bash
# Checks the title-bar double click under a real window manager: starts the
# tool on a virtual X server with openbox, gives the window a normal geometry,
# maximises it by a double click on the title bar, then restores it by a
# double click whose second press and release lie 1 pixel apart (as a hand
# gives it) and prints the window's geometry at each step. After the restore
# the window must have exactly its earlier normal geometry.
#
# Needs: Xvfb, openbox, xdotool, wmctrl and xwininfo (Debian packages xvfb,
# openbox, xdotool, wmctrl, x11-utils) and a built tool. Not run by CI.
# Usage: scripts/wm-doubleclick-check.sh [build dir] (default: build)
# Exit status: 0 when the geometry came back, 1 when it did not, 2 when the
# set-up failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
[[ "$dir" = /* ]] || dir="$root/$dir"
tool="$dir/maintenance-tool"

for need in Xvfb openbox xdotool wmctrl xwininfo; do
  command -v "$need" >/dev/null || { echo "missing: $need" >&2; exit 2; }
done
[[ -x "$tool" ]] || { echo "missing: $tool (build it first)" >&2; exit 2; }

normal_x=135 normal_y=140 normal_w=785 normal_h=710
display=:$((90 + RANDOM % 100))
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
echo "window manager: $(wmctrl -m | sed -n 's/^Name: //p')"

(cd "$work" && QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none exec "$tool") >"$work/tool.log" 2>&1 &
pids+=($!)
win=$(timeout 20 xdotool search --sync --onlyvisible --name '^KB-R5530$' | head -1)
[[ -n "$win" ]] || { echo "the tool's window did not appear" >&2; cat "$work/tool.log" >&2; exit 2; }

# "x y w h" of the window on the screen.
geometry() {
  xwininfo -id "$win" |
    awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
         /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'
}
# Waits until the geometry has stayed the same for half a second (at most 5 s).
settled_geometry() {
  local last="" now same=0
  for _ in $(seq 50); do
    now=$(geometry)
    if [[ "$now" == "$last" ]]; then
      same=$((same + 1))
      ((same >= 5)) && break
    else
      same=0
    fi
    last=$now
    sleep 0.1
  done
  echo "$now"
}
show() { # label "x y w h"
  read -r x y w h <<<"$2"
  printf '%-34s %dx%d at (%d,%d)\n' "$1" "$w" "$h" "$x" "$y"
}

xdotool windowsize --sync "$win" "$normal_w" "$normal_h"
xdotool windowmove --sync "$win" "$normal_x" "$normal_y"
before=$(settled_geometry)
show "normal:" "$before"

# The title bar starts below the 15-pixel margin and the 2-pixel border.
read -r x y _ _ <<<"$before"
xdotool mousemove --sync $((x + 300)) $((y + 30)) click --repeat 2 --delay 60 1
maximised=$(settled_geometry)
show "after double click (maximise):" "$maximised"

read -r x y _ _ <<<"$maximised"
press_y=$((y + 8)) # maximised there is no margin: inside the top 15 pixels
xdotool mousemove --sync $((x + 300)) "$press_y" click 1 \
  mousedown 1 mousemove --sync $((x + 300)) $((press_y + 1)) mouseup 1
after=$(settled_geometry)
show "after double click, 1-px move:" "$after"

if [[ "$after" == "$before" ]]; then
  echo "OK: the restore gave back the normal geometry"
  status=0
else
  echo "FAULT: the restore did not give back the normal geometry"
  status=1
fi

# Closing through the window manager ends the tool (its session is logged
# out on the way, which this script cannot see without a module).
wmctrl -i -c "$win"
for _ in $(seq 50); do kill -0 "${pids[2]}" 2>/dev/null || break; sleep 0.1; done
if kill -0 "${pids[2]}" 2>/dev/null; then
  echo "the tool still runs after the window manager closed its window"
else
  echo "closed by the window manager: the tool has ended"
fi
exit "$status"

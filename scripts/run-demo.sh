#!/usr/bin/env bash
# Builds the tool and starts the demo launcher: the maintenance tool's window
# with a simulated module on a pseudo-terminal in its port list. The demo
# runs in <build dir>/demo-run, where it finds help.html and keeps the files
# it writes (MAC database, fetched logs). Without a display it runs under a
# virtual X server.
# Usage: scripts/run-demo.sh [build dir] (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
[[ "$dir" = /* ]] || dir="$root/$dir"

"$root/scripts/build.sh" "$dir"

run_dir="$dir/demo-run"
mkdir -p "$run_dir"
cp "$root/resources/help.html" "$run_dir/help.html"
cd "$run_dir"

if [[ -z "${DISPLAY:-}" ]]; then
  echo "No display found: running the demo under xvfb-run -a (the window is not visible)."
  # The tool draws no OpenGL; without GL integration Mesa is never loaded.
  QT_XCB_GL_INTEGRATION=none exec xvfb-run -a "$dir/maintenance-demo"
fi
exec "$dir/maintenance-demo"

#!/usr/bin/env bash
# Builds the Debian package of the tool: a release build in the given
# directory (default: build-package), then CPack. Prints the package's path.
# Install it with: sudo apt install ./<package>.deb
# Usage: scripts/package.sh [build dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-package}
[[ "$dir" = /* ]] || dir="$root/$dir"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DMAINT_BUILD_TESTS=OFF \
  -DMAINT_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb

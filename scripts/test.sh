#!/usr/bin/env bash
# Builds everything into the given directory (default: build) and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
"$root/scripts/build.sh" "$dir" "$@"
ctest --test-dir "$dir" --output-on-failure --timeout 300

#!/usr/bin/env bash
# Builds every fuzz target with clang's libFuzzer (the whole library
# instrumented, with AddressSanitizer and UndefinedBehaviorSanitizer) and runs
# each for the given time, starting from its committed seeds in
# fuzz/corpus/<target>. Prints per target the executions, the coverage reached
# and the outcome; a crash leaves its input in build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [build dir]
# FUZZ_JOBS=N runs N targets at a time (default 1); FUZZ_TARGETS="fuzz_a fuzz_b"
# runs only those. Not run by CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=${2:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-1}

"$root/scripts/install-deps.sh"
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  sudo=""; [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends clang libclang-rt-dev >/dev/null
fi

cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DMAINT_FUZZ_LIBFUZZER=ON -DMAINT_BUILD_TESTS=OFF -DMAINT_BUILD_BENCH=OFF \
  -DMAINT_BUILD_APPS=OFF >/dev/null
targets=()
for source in "$root"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
[[ -n "${FUZZ_TARGETS:-}" ]] && read -r -a targets <<<"$FUZZ_TARGETS"
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}" >/dev/null

mkdir -p "$dir/artifacts" "$dir/logs"
run_target() {
  local target=$1 corpus="$dir/corpus/$1"
  mkdir -p "$corpus"
  cp -n "$root/fuzz/corpus/$target"/* "$corpus/" 2>/dev/null || true
  local status=0
  "$dir/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
    >"$dir/logs/$target.log" 2>&1 || status=$?
  echo "$status" >"$dir/logs/$target.status"
}

running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if ((running >= jobs)); then wait -n || true; running=$((running - 1)); fi
done
wait

printf '%-16s %14s %8s %8s  %s\n' target executions cov ft outcome
failed=0
for target in "${targets[@]}"; do
  log="$dir/logs/$target.log"
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | awk '{print $2}')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | awk '{print $2}')
  if [[ $(cat "$dir/logs/$target.status") == 0 ]]; then
    outcome="no crash"
  else
    outcome="FAILED: $(grep -m1 -oE 'ERROR: [A-Za-z]+: [^ ]+|deadly signal|out-of-memory|timeout' "$log" || echo "exit $(cat "$dir/logs/$target.status")") (see $log)"
    failed=1
  fi
  printf '%-16s %14s %8s %8s  %s\n' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$outcome"
done
exit $failed

#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (clang, libFuzzer, ASan, UBSan) in
# build-fuzz/, writes each target's seed corpus and runs every target for a
# while on it. Fails on any finding: a crash, a sanitizer report, a leak, a
# broken promise of the code, or one input that runs longer than 10 s.
# Findings are kept in build-fuzz/findings/; the corpora grow from run to run.
#
# Usage: tools/fuzz.sh [seconds per target, default 30] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift
dir=build-fuzz
max_len=8192       # the seeds stay below it (fuzz/FuzzTarget.cpp)
input_timeout=10   # seconds for one input

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSOFTBOX_FUZZ=ON \
  -DSOFTBOX_BUILD_TESTS=OFF -DSOFTBOX_BUILD_BENCH=OFF -DSOFTBOX_BUILD_GUI=OFF >/dev/null
cmake --build "$dir" -j2 --target fuzz

targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets <"$dir/fuzz/fuzz-targets.txt"
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/findings" "$dir/fuzz-logs"
failed=()
for t in "${targets[@]}"; do
  exe="$dir/fuzz/$t"
  corpus="$dir/corpus/$t"
  log="$dir/fuzz-logs/$t.log"
  "$exe" --write-seeds="$corpus" >/dev/null
  # The outer time-out only guards against a target that never ends its run.
  if timeout $((seconds + 300)) "$exe" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout="$input_timeout" -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
    "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$t: ${runs:-?} inputs in ${seconds} s, no finding"
  else
    failed+=("$t")
    echo "== $t: FINDING (log $log) =="
    # The report, from its first line on, without the progress lines.
    grep -v -E '^#[0-9]+' "$log" |
      awk '/broken promise|runtime error|ERROR|==[0-9]+==/ { on = 1 } on' | head -n 80
    input=$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)
    [ -z "$input" ] || echo "Run it again: $exe $input"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz findings in: ${failed[*]}"
  exit 1
fi

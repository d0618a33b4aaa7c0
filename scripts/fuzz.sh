#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for SECONDS (default 30),
# seeded from the project's data (tamro_fuzz_seeds, fuzz/make_seeds.cpp). Any finding fails the run; its input is
# kept as build/fuzz/findings/<target>-crash-* (or -leak-, -timeout-, -oom-).
#   scripts/fuzz.sh [SECONDS [TARGET...]]     targets: model_file, config_decode, ...
# The corpus each target grows stays in build/fuzz/corpus/<target> for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
if (($#)); then shift; fi
build=build/fuzz

CXX=clang++ cmake -G Ninja -S fuzz -B "$build" >/dev/null
# Only what goes wrong is shown.
ninja -C "$build" -j "$(nproc)" | { grep -v "^\[" || true; }

targets=("$@")
if ((${#targets[@]} == 0)); then
  for binary in "$build"/*_fuzzer; do
    name=${binary##*/}
    targets+=("${name%_fuzzer}")
  done
fi

rm -rf "$build/seeds"
"$build/tamro_fuzz_seeds" . "$build/seeds"
mkdir -p "$build/findings" "$build/logs"

failed=()
for target in "${targets[@]}"; do
  binary=$build/${target}_fuzzer
  [[ -x $binary ]] || { echo "fuzz: no target $target" >&2; exit 2; }
  corpus=$build/corpus/$target
  mkdir -p "$corpus" "$build/seeds/$target"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$build/findings/$target-")
  [[ -f fuzz/$target.dict ]] && args+=(-dict="fuzz/$target.dict")
  log=$build/logs/$target.log
  # New inputs go to the first directory; the seeds are only read.
  if UBSAN_OPTIONS=print_stacktrace=1 "$binary" "${args[@]}" "$corpus" "$build/seeds/$target" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz: $target: $runs runs, $rate per second, corpus $(ls "$corpus" | wc -l)" >&2
  else
    echo "fuzz: $target: FINDING (log $log)" >&2
    grep -E "invariant broken|ERROR:|runtime error|SUMMARY|artifact_prefix|Test unit written" \
      "$log" | head -20 >&2 || tail -30 "$log" >&2
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi

#!/usr/bin/env bash
# Runs each libFuzzer target of the core library for a bounded time.
#   scripts/fuzz.sh <build-dir> [seconds-per-target]   (default 60)
# Exits non-zero when any target finds a crash, a leak, a timeout or runs out of memory; prints
# one line per target. Inputs found along the way stay in <build-dir>/fuzz/, never in the seeds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:?usage: scripts/fuzz.sh <build-dir> [seconds-per-target]}
seconds=${2:-60}
case $build in /*) ;; *) build="$root/$build" ;; esac

status=0
for entry in aggregate rank thresholds; do
  target="ostrel_core_fuzz_$entry"
  binary="$build/bin/$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz $target: MISSING ($binary not built)"
    status=1
    continue
  fi
  work="$build/fuzz/$entry"
  mkdir -p "$work/corpus" "$work/artifacts"
  log="$work/fuzz.log"
  "$binary" "$work/corpus" "$root/core/vell/fuzz/corpus/$entry" \
    -dict="$root/core/vell/fuzz/core.dict" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 -max_len=16384 \
    -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$work/artifacts/" > "$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$rc" -eq 0 ]; then
    echo "fuzz $target: ok, ${runs:-?} runs in ${seconds}s, corpus $(ls "$work/corpus" | wc -l) inputs"
  else
    finding=$(grep -m1 -E "ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY:" "$log")
    echo "fuzz $target: FAILED (exit $rc) ${finding:-see log}; log $log, input in $work/artifacts/"
    status=1
  fi
done
exit $status

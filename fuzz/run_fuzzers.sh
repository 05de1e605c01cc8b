#!/usr/bin/env bash
# Runs every fuzz target for a bounded time and fails when any of them finds a crash, a leak, a
# hang or an out-of-memory. Usage: run_fuzzers.sh <build folder> <seconds per target>
#
# Each target starts from its seeds: the generated ones (<build>/fuzz/seeds/<target>), the small
# hand-made ones in fuzz/seeds/<target> and the inputs kept as regression tests. What it learns
# goes to <build>/fuzz/corpus/<target>, kept between runs; a failing input goes to
# <build>/fuzz/artifacts/<target>/.
set -uo pipefail

build=$(cd "${1:?build folder}" && pwd)
seconds=${2:-60}
source_dir=$(cd "$(dirname "$0")/.." && pwd)

# target:folder of its regression inputs under tests/:largest input. Hostile archives (overlapping
# entries that each declare 256 MiB, directories of tens of thousands of headers) need room.
# A target named <kind>_document takes the seeds and dictionary of <kind>.
targets=(archive:archive:524288 rtf:richtext:65536 rtf_document:richtext:65536 settings:settings:65536
         user_list:accounts:65536 private:diary:524288 import:import:65536)

# Use-after-return detection halves the speed; the test suite under `make test-asan` keeps it.
# A smaller quarantine keeps the resident size what the program really holds, so that the RSS
# limit below catches runaway memory and not the sanitizer's cache of freed blocks.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0:quarantine_size_mb=64:symbolize=1
export LSAN_OPTIONS=suppressions=$source_dir/fuzz/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

failed=()
summary=()
total=0
for entry in "${targets[@]}"; do
  target=${entry%%:*}
  rest=${entry#*:}
  tests_folder=${rest%%:*}
  max_len=${rest#*:}
  binary=$build/fuzz/fuzz_$target
  corpus=$build/fuzz/corpus/$target
  artifacts=$build/fuzz/artifacts/$target/
  log=$build/fuzz/$target.log
  mkdir -p "$corpus" "$artifacts"

  kind=${target%_document}
  seeds=()
  for dir in "$build/fuzz/seeds/$kind" "$source_dir/fuzz/seeds/$kind" \
             "$source_dir/tests/$tests_folder/regressions"; do
    [ -d "$dir" ] && seeds+=("$dir")
  done
  dict=()
  [ -f "$source_dir/fuzz/$kind.dict" ] && dict=(-dict="$source_dir/fuzz/$kind.dict")

  echo "== fuzz_$target: $seconds s"
  "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len="$max_len" \
    -print_final_stats=1 -artifact_prefix="$artifacts" "${dict[@]}" \
    "$corpus" "${seeds[@]}" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  runs=${runs:-0}
  per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  per_second=${per_second:-0}
  total=$((total + runs))
  if [ $status -ne 0 ]; then
    failed+=("$target")
    summary+=("$(printf '%-13s FAILED (exit %d) after %s executions; see %s' "$target" $status "$runs" "$log")")
    tail -n 40 "$log"
  else
    summary+=("$(printf '%-13s %12s executions %8s per second' "$target" "$runs" "$per_second")")
  fi
done

echo "== fuzz summary ($seconds s per target)"
printf '%s\n' "${summary[@]}"
echo "total         $(printf '%12s' $total) executions"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi

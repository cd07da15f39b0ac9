#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan), makes
# their starting corpus with our own writers, and runs each for a bounded
# time (FUZZ_SECONDS, default 20) with inputs up to its format's largest file.
# Ends with the executions per second of every target, by the clock and by
# the processor time it used, and names any disk reader below
# FUZZ_MIN_DISK_EXECS (default 500) executions a second of processor time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
secs="${FUZZ_SECONDS:-20}"
# The clock's rate falls with the machine's load, so a reader is judged by
# its executions per second of its own processor time, and only when it had
# at least half a processor: with the cores four times oversubscribed a
# reader got a fifth of one, and even its rate per processor second fell to
# a third or a half, its start-up weighing more and its caches shared. The
# slowest reader, HOBETA, runs 1,100 to 1,500 executions a processor second
# with the machine's cores all busy, and more on an idle machine; 500 is
# crossed by a slowdown of twice or more even then.
min_disk="${FUZZ_MIN_DISK_EXECS:-500}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DOVRIN_FUZZ=ON -DOVRIN_TESTS=OFF \
  -DOVRIN_BENCH=OFF -DOVRIN_SANITIZE=asan -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build build-fuzz --target fuzz_all --parallel "$(nproc)"
seeds=build-fuzz/seeds
rm -rf "$seeds"
build-fuzz/bin/fuzz_make_seeds "$seeds"
targets=$(cat build-fuzz/fuzz_targets.txt 2>/dev/null | tr ';' ' ')
mkdir -p build-fuzz/artifacts build-fuzz/logs
# The disk readers allocate thousands of track buffers an input; filling
# each new block with a marker byte cost more than the reader itself. A disk
# input frees megabytes of tracks, and a quarantine of the default 256 MB
# kept handing back fresh pages to fault in: 16 MB still holds freed memory
# back for several inputs, so a use after free within an input is caught.
export ASAN_OPTIONS="${ASAN_OPTIONS:-max_malloc_fill_size=0:quarantine_size_mb=16}"
report=()
unjudged=()
slow=0
for t in $targets; do
  max_len=$(cat "$seeds/$t.max_len" 2>/dev/null || echo 4096)
  echo "fuzzing $t for ${secs}s (inputs up to $max_len bytes)"
  mkdir -p "build-fuzz/corpus/$t"
  log="build-fuzz/logs/$t.log"
  TIMEFORMAT='%3U %3S %3R'
  if ! { time "build-fuzz/bin/$t" -max_total_time="$secs" -max_len="$max_len" -rss_limit_mb=6144 -seed=1 \
           -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
           "build-fuzz/corpus/$t" "$seeds/$t" >"$log" 2>&1; } 2>"build-fuzz/logs/$t.time"; then
    tail -n 30 "$log"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  took=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  # executions per processor second, and the share of a processor in percent
  read -r per_cpu share < <(awk -v runs="${runs:-0}" '
    { cpu = $1 + $2; printf "%d %d\n", (cpu > 0 ? runs / cpu : 0), ($3 > 0 ? 100 * cpu / $3 : 0) }' \
    "build-fuzz/logs/$t.time")
  report+=("$(printf '%-24s %10s %10s %8s%% %12s' "$t" "${took:-?}" "$per_cpu" "$share" "${runs:-?}")")
  if [[ "$t" == fuzz_*_reader ]]; then
    if (( share < 50 )); then
      unjudged+=("$t")
    elif (( per_cpu < min_disk )); then
      slow=1
    fi
  fi
done
echo
printf '%-24s %10s %10s %9s %12s\n' "executions" "per second" "per CPU s" "CPU" "runs"
printf '%s\n' "${report[@]}"
if (( ${#unjudged[@]} )); then
  echo "not judged, with less than half a processor: ${unjudged[*]}"
fi
if (( slow )); then
  echo "warning: a disk reader ran below $min_disk executions a second of processor time" >&2
fi

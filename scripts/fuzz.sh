#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan), makes
# their starting corpus with our own writers, and runs each for a bounded
# time (FUZZ_SECONDS, default 20) with inputs up to its format's largest file.
# Ends with the executions per second of every target and names any disk
# reader below FUZZ_MIN_DISK_EXECS (default 1000) a second.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
secs="${FUZZ_SECONDS:-20}"
min_disk="${FUZZ_MIN_DISK_EXECS:-1000}"
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
slow=0
for t in $targets; do
  max_len=$(cat "$seeds/$t.max_len" 2>/dev/null || echo 4096)
  echo "fuzzing $t for ${secs}s (inputs up to $max_len bytes)"
  mkdir -p "build-fuzz/corpus/$t"
  log="build-fuzz/logs/$t.log"
  "build-fuzz/bin/$t" -max_total_time="$secs" -max_len="$max_len" -rss_limit_mb=6144 -seed=1 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
    "build-fuzz/corpus/$t" "$seeds/$t" >"$log" 2>&1 || { tail -n 30 "$log"; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  took=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  report+=("$(printf '%-24s %10s execs/s %12s runs' "$t" "${took:-?}" "${runs:-?}")")
  if [[ "$t" == fuzz_*_reader && "${took:-0}" -lt "$min_disk" ]]; then slow=1; fi
done
echo
echo "executions per second:"
printf '%s\n' "${report[@]}"
if (( slow )); then
  echo "warning: a disk reader ran below $min_disk executions a second" >&2
fi

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs
# each for a bounded time (FUZZ_SECONDS, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
secs="${FUZZ_SECONDS:-20}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DOVRIN_FUZZ=ON -DOVRIN_TESTS=OFF \
  -DOVRIN_BENCH=OFF -DOVRIN_SANITIZE=asan -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build build-fuzz --target fuzz_all --parallel "$(nproc)"
targets=$(cat build-fuzz/fuzz_targets.txt 2>/dev/null | tr ';' ' ')
for t in $targets; do
  echo "fuzzing $t for ${secs}s"
  mkdir -p "build-fuzz/corpus/$t"
  mkdir -p build-fuzz/artifacts
  "build-fuzz/bin/$t" -max_total_time="$secs" -rss_limit_mb=6144 -seed=1 -artifact_prefix=build-fuzz/artifacts/ \
    "build-fuzz/corpus/$t" 2>&1 | tail -n 3
done

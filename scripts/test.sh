#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. With an argument,
# runs one sanitizer variant instead: asan (AddressSanitizer + UBSan over the
# whole suite) or tsan (ThreadSanitizer over the tests labelled "threads").
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
variant="${1:-normal}"
bash scripts/build.sh "$variant" >/dev/null
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
case "$variant" in
  normal) ctest --test-dir build --output-on-failure -j "$(nproc)" ;;
  asan)   ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --test-dir build-asan --output-on-failure -j "$(nproc)" ;;
  tsan)   TSAN_OPTIONS=halt_on_error=1 \
            ctest --test-dir build-tsan --output-on-failure -L threads -j "$(nproc)" ;;
esac

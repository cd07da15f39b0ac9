#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. With an argument,
# runs one sanitizer variant instead: asan (AddressSanitizer + UBSan over the
# whole suite) or tsan (ThreadSanitizer over the tests labelled "threads").
# The build's warnings are shown; with OVRIN_WARNINGS_FAIL=1 (as in CI) they
# also fail the run, after the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
variant="${1:-normal}"
dir=$(bash scripts/build.sh "$variant")
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
case "$variant" in
  normal) ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" ;;
  asan)   ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" ;;
  tsan)   TSAN_OPTIONS=halt_on_error=1 \
            ctest --test-dir "$dir" --output-on-failure -L threads -j "$(nproc)" ;;
esac
if [ -s "$dir/warnings.log" ] && [ "${OVRIN_WARNINGS_FAIL:-0}" = 1 ]; then
  echo "The $variant build gave warnings (shown above its tests); they fail this run." >&2
  exit 1
fi

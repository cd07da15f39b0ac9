#!/usr/bin/env bash
# Configures and builds one variant: normal (build/), asan (build-asan/),
# tsan (build-tsan/), or run (build-run/: the program and its libraries
# only, so that running needs none of the test packages).
set -euo pipefail
cd "$(dirname "$0")/.."
variant="${1:-normal}"
case "$variant" in
  normal) dir=build; extra=() ;;
  asan)   dir=build-asan; extra=(-DOVRIN_SANITIZE=asan -DOVRIN_BENCH=OFF) ;;
  tsan)   dir=build-tsan; extra=(-DOVRIN_SANITIZE=tsan -DOVRIN_BENCH=OFF) ;;
  run)    dir=build-run; extra=(-DOVRIN_TESTS=OFF -DOVRIN_BENCH=OFF) ;;
  *) echo "unknown variant $variant" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
echo "$dir"

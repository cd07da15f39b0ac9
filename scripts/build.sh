#!/usr/bin/env bash
# Configures and builds one variant: normal (build/), asan (build-asan/),
# tsan (build-tsan/), or run (build-run/: the program and its libraries
# only, so that running needs none of the test packages). Prints the build
# directory; the build's own output goes to DIR/build.log and is shown only
# when the build fails or warns; the warnings are also kept in
# DIR/warnings.log, empty when the last build was clean.
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
# A checkout moved or renamed leaves build folders whose cache names the old
# source folder, which CMake refuses: such a folder is configured afresh,
# keeping what else it holds (the program folder's CMOS file).
if [ -f "$dir/CMakeCache.txt" ]; then
  source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$dir/CMakeCache.txt")
  if [ ! "$source_dir" -ef . ]; then
    echo "$dir/ was configured for $source_dir: configuring it afresh" >&2
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
fi
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
log="$dir/build.log"
echo "Building $dir/ (its output goes to $log)" >&2
if ! cmake --build "$dir" --parallel "$(nproc)" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

# Ninja prints a step's status line when the step ends, followed by what the
# step printed, so a step's warnings are the lines up to the next status
# line. A step that warned has its output removed: the next build repeats
# it, and the warning stays in view until it is mended.
awk -v warnings="$dir/warnings.log" -v outputs="$dir/warned_outputs.txt" '
  function flush() {
    if (warned) { printf "%s", step > warnings; print output > outputs }
    step = ""; warned = 0
  }
  /^\[[0-9]+\/[0-9]+\] / { flush(); output = $NF }
  { step = step $0 "\n" }
  /warning:/ { warned = 1 }
  END { flush(); printf "" > warnings; printf "" > outputs }
' "$log"
while read -r output; do
  if [ -f "$dir/$output" ]; then rm -f "$dir/$output"; fi
done < "$dir/warned_outputs.txt"
rm -f "$dir/warned_outputs.txt"
if [ -s "$dir/warnings.log" ]; then
  echo "The $variant build gave warnings:" >&2
  cat "$dir/warnings.log" >&2
fi
echo "$dir"

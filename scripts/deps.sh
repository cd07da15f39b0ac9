#!/usr/bin/env bash
# Installs what is missing, skipping what is already there. "run": what
# building and running the emulator needs; "test" (the default): that and
# what the tests, sanitizer builds, fuzzing and benchmarks need besides.
set -euo pipefail
run_pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libsdl2-dev opense-basic)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev z80dasm pasmo libz80ex-dev
           shared-mime-info libglib2.0-bin)
case "${1:-test}" in
  run)  pkgs=("${run_pkgs[@]}") ;;
  test) pkgs=("${run_pkgs[@]}" "${test_pkgs[@]}") ;;
  *) echo "unknown package set $1 (run or test)" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  # A package removed but not purged is still known to dpkg ("config-files");
  # only "installed" means its files are there.
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

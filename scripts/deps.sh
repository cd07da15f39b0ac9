#!/usr/bin/env bash
# Installs what is missing, skipping what is already there. "run": what
# building and running the emulator needs; "test" (the default): that and
# what the tests, sanitizer builds, fuzzing and benchmarks need besides.
set -euo pipefail
run_pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libsdl2-dev opense-basic)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev z80dasm pasmo libz80ex-dev
           shared-mime-info libglib2.0-bin libdsk4-dev)
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
[ ${#missing[@]} -gt 0 ] || exit 0

# What a user who cannot install packages is told to do instead.
how_to_install() {
  cat >&2 <<EOF
Either install them as root and run this command again:
  su -c 'apt-get update && apt-get install -y ${missing[*]}'
or, as root, install sudo and allow $(id -un) to use it (apt-get install sudo;
adduser $(id -un) sudo; then log in again), and run this command again.
EOF
}

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Installing them needs root, and sudo is not installed." >&2
    how_to_install
    exit 1
  fi
  SUDO=(sudo)
fi
echo "Installing: ${missing[*]}"
# sudo clears the environment, so the frontend goes through env.
if ! { "${SUDO[@]}" apt-get update -qq &&
       "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; }; then
  echo "Could not install: ${missing[*]}" >&2
  # apt's own message above says why; through sudo, the cause may also be a
  # user that sudo does not allow.
  [ ${#SUDO[@]} -eq 0 ] || how_to_install
  exit 1
fi

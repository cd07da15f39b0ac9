#!/usr/bin/env bash
# Installs what is missing, builds, and starts the emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh normal >/dev/null
if [ -x build/bin/ovrin ]; then
  exec build/bin/ovrin "$@"
fi
echo "Built everything in build/bin (the program itself is not there yet)."

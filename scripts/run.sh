#!/usr/bin/env bash
# Installs what is missing, builds, and starts the emulator.
set -euo pipefail
# File names on the command line are the user's, relative to where the user
# is: the program starts there, not in the checkout.
user_dir="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"
bash scripts/deps.sh run
bash scripts/build.sh run >/dev/null
if [ ! -x build-run/bin/ovrin ]; then
  echo "Built everything in build-run/bin (the program itself is not there yet)."
  exit 1
fi

# Without settings of the user's own, start from a settings folder in the
# build tree whose ROM files are the free ROM of the opense-basic package, so
# that a fresh machine boots to BASIC. Save params then writes there too.
user_settings="${XDG_CONFIG_HOME:-$HOME/.config}/OVRIN/OVRIN.ini"
if [ ! -f "$user_settings" ]; then
  export XDG_CONFIG_HOME="$root/build-run/settings"
  settings="$XDG_CONFIG_HOME/OVRIN/OVRIN.ini"
  if [ ! -f "$settings" ]; then
    mkdir -p "$(dirname "$settings")"
    cat > "$settings" <<'INI'
[General]
ROMFILE0=/usr/share/spectrum-roms/opense-stub.rom
ROMFILE1=/usr/share/spectrum-roms/opense.rom
ROMFILE2=
ROMFILE3=
INI
  fi
fi
cd "$user_dir"
exec "$root/build-run/bin/ovrin" "$@"

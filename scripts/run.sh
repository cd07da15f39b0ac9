#!/usr/bin/env bash
# Installs what is missing, builds, and starts the emulator with the user's
# own settings, naming the free ROM in them when they name no ROM set.
set -euo pipefail
# File names on the command line are the user's, relative to where the user
# is: the program starts there, not in the checkout.
user_dir="$PWD"
# A relative XDG_CONFIG_HOME is invalid and counts as unset, as the program
# itself takes it.
config_home="${XDG_CONFIG_HOME:-}"
[[ "$config_home" == /* ]] || config_home="$HOME/.config"
settings="$config_home/OVRIN/OVRIN.ini"
cd "$(dirname "$0")/.."
root="$PWD"
bash scripts/deps.sh run
bash scripts/build.sh run >/dev/null
if [ ! -x build-run/bin/ovrin ]; then
  echo "Built everything in build-run/bin (the program itself is not there yet)."
  exit 1
fi

# Earlier versions of this script kept the settings in the build tree; what
# was saved there becomes the user's settings when the user has none.
old_settings=build-run/settings/OVRIN/OVRIN.ini
if [ -f "$old_settings" ] && [ ! -e "$settings" ]; then
  mkdir -p "$(dirname "$settings")"
  mv "$old_settings" "$settings"
  rmdir build-run/settings/OVRIN build-run/settings 2>/dev/null || true
fi
bash scripts/free_rom_settings.sh "$settings" build-run/bin
cd "$user_dir"
exec "$root/build-run/bin/ovrin" "$@"

#!/usr/bin/env bash
# The run command's settings step: which files name no ROM set, and that
# writing the free ROM into one keeps every other value and leaves no
# temporary file.
set -uo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/free_rom_settings.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
free=$'ROMFILE0=/usr/share/spectrum-roms/opense-stub.rom\nROMFILE1=/usr/share/spectrum-roms/opense.rom\nROMFILE2=\nROMFILE3='

# name | settings before ("-" for no file) | pentagon.rom in the program folder | settings after
# | the file: plain, link (to a file elsewhere, which stays a link) or read-only
check() {
  local name="$1" before="$2" pentagon="$3" after="$4" kind="${5:-plain}"
  local case_dir="$work/$name"
  mkdir -p "$case_dir/config/OVRIN" "$case_dir/bin" "$case_dir/dotfiles"
  local settings="$case_dir/config/OVRIN/OVRIN.ini" file="$case_dir/config/OVRIN/OVRIN.ini"
  if [ "$kind" = link ]; then file="$case_dir/dotfiles/OVRIN.ini"; ln -s "$file" "$settings"; fi
  [ "$before" = - ] || printf '%s\n' "$before" > "$file"
  [ "$kind" = read-only ] && chmod a-w "$file"
  [ "$pentagon" = yes ] && : > "$case_dir/bin/pentagon.rom"
  if ! bash "$script" "$settings" "$case_dir/bin" 2>/dev/null; then
    echo "FAIL $name: the script failed"; failures=$((failures + 1)); return
  fi
  if [ "$kind" = link ] && [ ! -L "$settings" ]; then
    echo "FAIL $name: the link was replaced"; failures=$((failures + 1))
  fi
  local got
  got=$(cat "$file")
  if [ "$got" != "$after" ]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$name" "$after" "$got"; failures=$((failures + 1))
  fi
  local left
  left=$(find "$case_dir" -name '.OVRIN.ini.*')
  if [ -n "$left" ]; then echo "FAIL $name: left $left"; failures=$((failures + 1)); fi
}

check no-file - no "[General]"$'\n'"$free"
check installed-only $'[General]\nInstalled=Yes\nEnableCMOS=0\n\n[Timing]\ntimeLoopTime=69888' no \
  "[General]"$'\n'"$free"$'\nInstalled=Yes\nEnableCMOS=0\n\n[Timing]\ntimeLoopTime=69888'
check no-general-group $'[Timing]\ntimeLoopTime=1' no "[General]"$'\n'"$free"$'\n[Timing]\ntimeLoopTime=1'
check empty-entries $'[General]\nROMFILE0=\nROMFILE1=\nROMFILE2=\nROMFILE3=\nMemoryModel=3' no \
  "[General]"$'\n'"$free"$'\nMemoryModel=3'
check saved-defaults $'[General]\nROMFILE0="pentagon.rom,0"\nROMFILE1="pentagon.rom,1"\nROMFILE2="pentagon.rom,2"\nROMFILE3="pentagon.rom,3"\nPalette=@ByteArray(abc)\n[Timing]\nROMFILE0=other' no \
  "[General]"$'\n'"$free"$'\nPalette=@ByteArray(abc)\n[Timing]\nROMFILE0=other'
check defaults-with-their-file $'[General]\nROMFILE0="pentagon.rom,0"' yes $'[General]\nROMFILE0="pentagon.rom,0"'
check one-entry-chosen $'[General]\nROMFILE0=\nROMFILE1=/roms/mine.rom\nROMFILE2=\nROMFILE3=' no \
  $'[General]\nROMFILE0=\nROMFILE1=/roms/mine.rom\nROMFILE2=\nROMFILE3='
check default-at-another-index $'[General]\nROMFILE0="pentagon.rom,1"' no $'[General]\nROMFILE0="pentagon.rom,1"'
check free-rom-already "[General]"$'\n'"$free" no "[General]"$'\n'"$free"
check linked $'[General]\nMemoryModel=3' no "[General]"$'\n'"$free"$'\nMemoryModel=3' link
check linked-to-no-file - no "[General]"$'\n'"$free" link
check read-only $'[General]\nMemoryModel=3' no $'[General]\nMemoryModel=3' read-only

exit $((failures > 0))

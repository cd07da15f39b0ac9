#!/usr/bin/env bash
# Usage: free_rom_settings.sh SETTINGS_FILE PROGRAM_DIR
# When the settings file names no ROM set, writes the free ROM of the
# opense-basic package into its four ROM entries, keeping every other value,
# so that the program boots to BASIC however it is started. A ROM set is
# named when an entry is neither empty nor the program's own default
# "pentagon.rom,N", which names nothing while PROGRAM_DIR holds no
# pentagon.rom (Save params writes that default out as it stands).
set -euo pipefail
settings="$1"
program_dir="$2"
free_roms=(/usr/share/spectrum-roms/opense-stub.rom /usr/share/spectrum-roms/opense.rom "" "")

# The ROM entries of the top level ([General], or before any group) as
# "index<TAB>value", without the quotes the settings writer puts around a
# value with a comma in it.
rom_entries() {
  awk '
    BEGIN { top = 1 }
    /^[ \t]*\[.*\][ \t]*$/ { top = ($0 ~ /^[ \t]*\[General\][ \t]*$/); next }
    top && match($0, /^[ \t]*ROMFILE[0-3][ \t]*=/) {
      index_ = substr($0, RSTART, RLENGTH); gsub(/[^0-9]/, "", index_)
      value = substr($0, RSTART + RLENGTH); gsub(/^[ \t]+|[ \t]+$/, "", value)
      if (value ~ /^".*"$/) value = substr(value, 2, length(value) - 2)
      print index_ "\t" value
    }' "$settings"
}

if [ -f "$settings" ]; then
  while IFS=$'\t' read -r index value; do
    [ -n "$value" ] || continue
    [ "$value" = "pentagon.rom,$index" ] && [ ! -e "$program_dir/pentagon.rom" ] && continue
    exit 0
  done < <(rom_entries)
fi

# A link (settings kept in a folder of their own) stays a link: the new
# file replaces its target.
[ -L "$settings" ] && settings=$(readlink -m -- "$settings")
# A file the user made read-only stays as it is (also for root, who could
# write it anyway).
if [ -f "$settings" ] && { [ ! -w "$settings" ] || [ -z "$(find "$settings" -maxdepth 0 -perm -u=w)" ]; }; then
  echo "$settings is read-only: the free ROM is not written into it." >&2
  exit 0
fi
dir=$(dirname "$settings")
mkdir -p "$dir"
tmp=$(mktemp "$dir/.OVRIN.ini.XXXXXX")
trap 'rm -f "$tmp"' EXIT
if [ -f "$settings" ]; then
  chmod --reference="$settings" "$tmp"
  grep -q '^[[:blank:]]*\[General\][[:blank:]]*$' "$settings" && general=1 || general=0
else
  chmod "$(printf '%o' $((0666 & ~$(umask))))" "$tmp"
  general=0
fi
# The new entries go first in [General]; the old ones of the top level are
# dropped wherever they stood.
{ [ -f "$settings" ] && cat "$settings"; true; } | awk -v general="$general" \
    -v r0="${free_roms[0]}" -v r1="${free_roms[1]}" -v r2="${free_roms[2]}" -v r3="${free_roms[3]}" '
  function roms() {
    print "ROMFILE0=" r0; print "ROMFILE1=" r1; print "ROMFILE2=" r2; print "ROMFILE3=" r3
    done_ = 1
  }
  BEGIN { top = 1; if (!general) { print "[General]"; roms() } }
  /^[ \t]*\[.*\][ \t]*$/ {
    top = ($0 ~ /^[ \t]*\[General\][ \t]*$/)
    print
    if (top && !done_) roms()
    next
  }
  top && /^[ \t]*ROMFILE[0-3][ \t]*=/ { next }
  { print }
' > "$tmp"
mv -f "$tmp" "$settings"
trap - EXIT

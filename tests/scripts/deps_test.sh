#!/usr/bin/env bash
# The package step, with dpkg-query, id, sudo and apt-get stood in for: what
# it does and says for root, for a user with sudo, and for one without.
set -uo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Every package installed but opense-basic.
fake() { printf '#!%s\n%s\n' "$BASH" "$2" > "$work/bin/$1"; chmod +x "$work/bin/$1"; }
mkdir -p "$work/bin"
for tool in cat env; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
fake dpkg-query '[ "${!#}" = opense-basic ] || printf installed'
fake apt-get 'echo "apt-get $*" >> "'"$work"'/calls"'

# name | uid | how sudo behaves ("none", "allows", "refuses") | exit | calls made | what stderr must hold
check() {
  local name="$1" uid="$2" sudo="$3" want_exit="$4" want_calls="$5" want_err="$6"
  fake id "[ \"\${1:-}\" = -u ] && echo $uid || echo someone"
  rm -f "$work/bin/sudo" "$work/calls"
  case "$sudo" in
    allows)  fake sudo 'echo "sudo $*" >> "'"$work"'/calls"; "$@"' ;;
    refuses) fake sudo 'echo "someone is not in the sudoers file." >&2; exit 1' ;;
  esac
  local err exit_code calls
  err=$(PATH="$work/bin" "$BASH" "$script" run 2>&1 >/dev/null)
  exit_code=$?
  calls=$(cat "$work/calls" 2>/dev/null | tr '\n' ';')
  if [ "$exit_code" != "$want_exit" ]; then echo "FAIL $name: exit $exit_code"; failures=$((failures + 1)); fi
  if [ "$calls" != "$want_calls" ]; then echo "FAIL $name: calls '$calls'"; failures=$((failures + 1)); fi
  if [[ "$err" != *"$want_err"* ]]; then printf 'FAIL %s: stderr\n%s\n' "$name" "$err"; failures=$((failures + 1)); fi
}

check root 0 none 0 "apt-get update -qq;apt-get install -y -qq opense-basic;" ""
check user-with-sudo 1000 allows 0 \
  "sudo apt-get update -qq;apt-get update -qq;sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq opense-basic;apt-get install -y -qq opense-basic;" ""
check user-without-sudo 1000 none 1 "" "su -c 'apt-get update && apt-get install -y opense-basic'"
check user-without-sudo-told-about-sudo 1000 none 1 "" "install sudo and allow someone"
check user-sudo-refuses 1000 refuses 1 "" "Could not install: opense-basic"

exit $((failures > 0))

#!/usr/bin/env bash
# scripts/setup.sh with some packages missing or none, as an ordinary user without sudo, with a
# sudo that refuses or allows, and as root. Stand-ins on PATH answer for dpkg-query, sudo and
# apt-get, so no package is installed or removed. As root the ordinary user is nobody (setpriv).
#   check_setup.sh SOURCE_DIR
set -uo pipefail
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
cp "$src/scripts/setup.sh" "$scratch/"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "skipped: setpriv is not installed"; exit 77; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

# A PATH of stand-ins and the few tools the script uses: no sudo unless a case brings one.
standins() { # $1: folder, $2: what sudo does ("" for none, "refuse", "allow")
  mkdir -p "$1"
  chmod 755 "$1"
  for tool in id grep; do ln -s "$(command -v "$tool")" "$1/$tool"; done
  printf '#!/bin/sh\nfor p; do :; done\nfor m in $TW_MISSING; do [ "$m" = "$p" ] && exit 1; done\nprintf "install ok installed"\n' >"$1/dpkg-query"
  printf '#!/bin/sh\necho "apt-get $*"\n' >"$1/apt-get"
  case $2 in
    refuse) printf '#!/bin/sh\necho "Sorry, user may not run sudo" >&2\nexit 1\n' >"$1/sudo" ;;
    allow) printf '#!/bin/sh\n[ "$1" = -v ] && exit 0\nexec "$@"\n' >"$1/sudo" ;;
  esac
  chmod 755 "$1"/*
}

failures=0
# name | user or root | sudo | missing | exit status | a line the output must hold ("" none)
#   | whether apt-get runs
while IFS='|' read -r name who sudo missing status expected installs; do
  bin=$scratch/$name
  standins "$bin" "$sudo"
  runner=()
  [ "$who" = user ] && runner=("${as_user[@]}")
  if [ "$who" = root ] && [ "$(id -u)" -ne 0 ]; then continue; fi
  out=$(cd "$scratch" && "${runner[@]}" env -i PATH="$bin" TW_MISSING="$missing" \
          /bin/bash "$scratch/setup.sh" run 2>&1)
  got=$?
  before=$failures
  fail() { echo "FAIL $name: $*"; failures=$((failures + 1)); }
  [ "$got" -eq "$status" ] || fail "exit status $got, not $status"
  if [ -n "$expected" ]; then
    grep -qxF -- "$expected" <<<"$out" || fail "no line \"$expected\""
  else
    [ -z "$out" ] || fail "it said something"
  fi
  ran=no
  grep -q '^apt-get install' <<<"$out" && ran=yes
  [ "$ran" = "$installs" ] || fail "apt-get install ran: $ran"
  [ "$failures" -eq "$before" ] || printf -- '--- %s said:\n%s\n' "$name" "$out"
done <<'CASES'
all-there|user|||0||no
missing-without-sudo|user||xterm fonts-liberation|1|  su -c 'apt-get update && apt-get install -y --no-install-recommends xterm fonts-liberation'|no
missing-sudo-refuses|user|refuse|cmake|1|  su -c 'apt-get update && apt-get install -y --no-install-recommends cmake'|no
missing-sudo-allows|user|allow|cmake|0|apt-get install -y -qq --no-install-recommends cmake|yes
missing-as-root|root||cmake|0|apt-get install -y -qq --no-install-recommends cmake|yes
CASES

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "setup: every case as expected"

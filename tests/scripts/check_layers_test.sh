#!/usr/bin/env bash
# The layer check passes on a copy of the tree, fails on an upward include
# planted in it (naming the file and the include), and passes again without it.
set -euo pipefail
source_dir="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts"
cp -r "$source_dir/src" "$work/"
cp "$source_dir/scripts/check-layers" "$work/scripts/"

"$work/scripts/check-layers" >/dev/null || { echo "FAIL: the tree does not pass"; exit 1; }

check_fails() {  # file include expected-text
  cp "$work/src/$1" "$work/saved"
  printf '#include "%s"\n' "$2" >>"$work/src/$1"
  if out="$("$work/scripts/check-layers" 2>&1)"; then
    echo "FAIL: $1 including $2 passed"; exit 1
  fi
  grep -qF "$3" <<<"$out" || { echo "FAIL: no '$3' in: $out"; exit 1; }
  mv "$work/saved" "$work/src/$1"
}
check_fails port/serial_port.cpp comms/serial_comms.h 'src/port/serial_port.cpp:'
check_fails sonar/zep_port.h comms/serial_comms.h 'includes "comms/...": sonar may include'
check_fails host/report.cpp port/port.h 'src/host/report.cpp:'
check_fails formats/nmea.cpp net/udp_link.h 'includes "net/...'

mkdir "$work/src/stray" && touch "$work/src/stray/a.h"
if "$work/scripts/check-layers" >/dev/null 2>&1; then echo "FAIL: a folder outside the table passed"; exit 1; fi
rmdir --ignore-fail-on-non-empty "$work/src/stray"; rm -rf "$work/src/stray"

"$work/scripts/check-layers" >/dev/null || { echo "FAIL: the restored tree does not pass"; exit 1; }
echo "check-layers test: ok"

#!/usr/bin/env bash
# chronyd takes nyxhost's pulses: chronyd runs with -x (it never touches the
# clock) and a refclock on a private shared-memory unit, with its own command
# socket, while the demonstration station publishes its pulses into that unit;
# chronyc must show the refclock reached. Installs chrony when missing; fails
# with the reason when chronyd cannot run here.
#   tests/integration/chrony_test.sh [path/to/nyxhost] [unit]
set -euo pipefail

NYXHOST="$(realpath "${1:-build/apps/nyxhost}")"
UNIT="${2:-7}"
fail() {
  echo "chrony_test: FAIL: $*" >&2
  exit 1
}
[ -x "$NYXHOST" ] || fail "no nyxhost at $NYXHOST"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! command -v chronyd >/dev/null || ! command -v chronyc >/dev/null; then
  # The package must not start the system's chronyd (which would discipline the clock).
  policy=/usr/sbin/policy-rc.d
  made_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null && $sudo chmod 0755 "$policy" && made_policy=1
  fi
  install_chrony() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends chrony >/dev/null; }
  install_chrony || { $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq && install_chrony; } || status=$?
  [ -n "$made_policy" ] && $sudo rm -f "$policy"
  [ "${status:-0}" -eq 0 ] || fail "cannot install chrony (apt-get exit ${status})"
  command -v chronyd >/dev/null || fail "chrony installed but chronyd not found"
fi

dir="$(mktemp -d /tmp/nyx-chrony.XXXXXX)"
# chronyd takes a command socket only in a directory closed to others.
chmod 0700 "$dir"
key=$((0x4E545030 + UNIT))
chronyd_pid=""
nyxhost_pid=""
cleanup() {
  [ -n "$nyxhost_pid" ] && kill "$nyxhost_pid" 2>/dev/null && wait "$nyxhost_pid" 2>/dev/null
  [ -n "$chronyd_pid" ] && kill "$chronyd_pid" 2>/dev/null && wait "$chronyd_pid" 2>/dev/null
  ipcrm -M "$key" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

cat >"$dir/chrony.conf" <<CONF
refclock SHM $UNIT refid NYX poll 2 precision 1e-3
driftfile $dir/drift
pidfile $dir/chronyd.pid
bindcmdaddress $dir/chronyd.sock
cmdport 0
port 0
CONF

# -x: never adjust the clock; -d: stay in the foreground, log to stderr.
chronyd -x -d -u "$(id -un)" -f "$dir/chrony.conf" >"$dir/chronyd.log" 2>&1 &
chronyd_pid=$!
for _ in $(seq 50); do
  [ -S "$dir/chronyd.sock" ] && break
  kill -0 "$chronyd_pid" 2>/dev/null || fail "chronyd did not start: $(tail -5 "$dir/chronyd.log")"
  sleep 0.2
done
[ -S "$dir/chronyd.sock" ] || fail "chronyd made no command socket: $(tail -5 "$dir/chronyd.log")"

(cd "$dir" && exec "$NYXHOST" --demo --chrony-shm "$UNIT" --duration 20 --no-view --records /dev/null \
  --events "$dir/events.jsonl") >"$dir/nyxhost.out" 2>"$dir/nyxhost.err" &
nyxhost_pid=$!

reach=0
line=""
for _ in $(seq 40); do
  sleep 0.5
  kill -0 "$nyxhost_pid" 2>/dev/null || break
  # CSV: mode, state, name, stratum, poll, reach (octal), ...
  line="$(chronyc -c -h "$dir/chronyd.sock" sources 2>&1 | grep ',NYX,' || true)"
  [ -n "$line" ] && reach=$((8#$(echo "$line" | cut -d, -f6)))
  [ "$reach" -gt 0 ] && break
done
if [ "$reach" -le 0 ]; then
  echo "--- chronyd" >&2; tail -20 "$dir/chronyd.log" >&2
  echo "--- nyxhost" >&2; tail -20 "$dir/nyxhost.err" >&2
  fail "the NYX refclock was never reached (chronyc: ${line:-no NYX source})"
fi
chronyc -h "$dir/chronyd.sock" sources
chronyc -h "$dir/chronyd.sock" sourcestats
echo "chrony_test: ok, NYX reach $(printf '%o' "$reach")"

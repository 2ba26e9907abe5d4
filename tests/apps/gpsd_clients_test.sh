#!/usr/bin/env bash
# gpsd's own clients against `nyxhost --demo --gpsd PORT` on loopback:
# gpspipe's JSON objects (TPV equal to the GPS's position records, ATT from
# the motion sensor, a PPS object each second), gpspipe's raw sentences, and
# a fix read through the gps Python module. Usage: gpsd_clients_test.sh NYXHOST
set -euo pipefail
nyxhost="$(realpath "${1:?usage: $0 NYXHOST}")"
source "$(dirname "$0")/../../scripts/setup.sh"

missing=()
command -v gpspipe >/dev/null || missing+=(gpsd-clients)
/usr/bin/python3 -c 'import gps' 2>/dev/null || missing+=(python3-gps)
if [ ${#missing[@]} -gt 0 ] && ! nyx_install "${missing[@]}"; then
  echo "SKIP: cannot install ${missing[*]}" >&2
  exit 77
fi

work="$(mktemp -d)"
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
(cd "$work" && exec "$nyxhost" --demo --no-view --gpsd "$port" --records records.jsonl --duration 60 2>host.log) &
host_pid=$!
for _ in $(seq 100); do
  /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null && break
  sleep 0.1
done

# The clients run side by side.
timeout 20 gpspipe -w -P -x 8 "127.0.0.1:$port" >"$work/watch.txt" &
all=$!
timeout 20 gpspipe -r -n 300 "127.0.0.1:$port" >"$work/raw.txt" &
raw=$!
timeout 20 /usr/bin/python3 - "$port" >"$work/fix.txt" <<'EOF' &
import sys
import gps

session = gps.gps(host="127.0.0.1", port=int(sys.argv[1]), mode=gps.WATCH_ENABLE | gps.WATCH_JSON)
while session.read() == 0:
    if session.valid & gps.LATLON_SET and session.fix.mode >= gps.MODE_2D:
        print(repr(session.fix.latitude), repr(session.fix.longitude), session.fix.mode)
        sys.exit(0)
sys.exit(1)
EOF
python=$!
status=0
for job in $all $raw $python; do wait "$job" || status=$?; done
kill "$host_pid"
wait "$host_pid" || true
host_pid=""
[ "$status" -eq 0 ] || { echo "a client failed ($status)"; tail -5 "$work/host.log"; exit 1; }

/usr/bin/python3 - "$work" <<'EOF'
import json
import sys

work = sys.argv[1]
records = [json.loads(line) for line in open(f"{work}/records.jsonl")]
positions = {(r["pos"][1], r["pos"][0]) for r in records if r["kind"] == 1 and r["quality"] > 0}
headings = [r["heading"] for r in records if r["kind"] == 2]
raw_texts = {r["text"].rstrip("\r") for r in records if r["kind"] == 0}
failures = []

def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

objects = [json.loads(line) for line in open(f"{work}/watch.txt") if line.startswith("{")]
devices = next(o for o in objects if o["class"] == "DEVICES")["devices"]
path = {d.get("driver"): d["path"] for d in devices}
gps_path, pps_path, motion_path = path["GPGGA + ZDA"], path["PPS"], path["TSS Std 1 + HEHDT"]

tpv = [o for o in objects if o["class"] == "TPV" and o["device"] == gps_path]
check(len(tpv) >= 4, f"{len(tpv)} TPV objects from the GPS {gps_path} in 8 s")
check(all((o["lat"], o["lon"]) in positions for o in tpv), "every TPV lat/lon equals a position record")
check(all(o["mode"] == 3 for o in tpv) and all("time" in o for o in tpv[1:]),
      "GGA fixes are 3D, with a time once the GPS sent one")

att = [o for o in objects if o["class"] == "ATT" and o["device"] == motion_path]
check(sum("heading" in o for o in att) >= 20, f"{len(att)} ATT objects from the motion sensor {motion_path}")
check(sum("pitch" in o and "roll" in o and "heave" in o for o in att) >= 20, "ATT pitch, roll and heave")
check(all(any(abs(o["heading"] - h) < 1e-4 for h in headings) for o in att if "heading" in o),
      "every ATT heading equals a heading record")

pps = [o for o in objects if o["class"] == "PPS"]
check(len(pps) >= 5 and all(o["device"] == pps_path for o in pps), f"{len(pps)} PPS objects from {pps_path}")
seconds = [o["real_sec"] for o in pps]
check(all(b - a == 1 for a, b in zip(seconds, seconds[1:])), "one PPS a second")
check(all(o["real_nsec"] == 0 and abs(o["clock_sec"] + o["clock_nsec"] / 1e9 - o["real_sec"]) < 0.5 for o in pps),
      "PPS clock time within half a second of its GPS second")

sentences = [line.rstrip("\r\n") for line in open(f"{work}/raw.txt") if not line.startswith("{")]
check(len(sentences) >= 200 and all(s in raw_texts for s in sentences), f"{len(sentences)} raw sentences, each a line's message")

fix = open(f"{work}/fix.txt").read().split()
check(len(fix) == 3 and (float(fix[0]), float(fix[1])) in positions, f"the gps module's fix {fix}")
sys.exit(1 if failures else 0)
EOF

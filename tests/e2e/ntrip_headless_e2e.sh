#!/usr/bin/env bash
# sextara-headless as an NTRIP client of a real caster on loopback: str2str
# takes corrections on a TCP input and serves them as mount point TEST,
# relaying what its NTRIP clients send back to that input (-b 1). A
# simulated receiver records what it is sent. Checks: every correction byte
# reaches the receiver, in order; the caster gets a valid GGA of the
# receiver's position; --sourcetable prints the mount point. With --json
# the same runs print JSON objects only on stdout (checked line by line: the
# last CORRECTIONS object counts every byte, the mount point comes as an
# object). Exits 77 (skipped) when str2str is missing.
#   tests/e2e/ntrip_headless_e2e.sh BUILD/tools DATA_DIR [--json]
set -uo pipefail
export LC_ALL=C
tools=${1:?usage: ntrip_headless_e2e.sh TOOLS_DIR DATA_DIR}
data=${2:?usage: ntrip_headless_e2e.sh TOOLS_DIR DATA_DIR}
json=${3:-}
# With --json the texts for a person go to stderr and stdout is kept apart.
# The texts for a person are always in NAME.out.
if [ -n "$json" ]; then
  std_of() { echo "$work/$1.json"; }
  err_of() { echo "$work/$1.out"; }
else
  std_of() { echo "$work/$1.out"; }
  err_of() { echo "$work/$1.err"; }
fi
if ! command -v str2str >/dev/null; then
  echo "SKIP: str2str is not installed (Debian package rtklib)"
  exit 77
fi

work=$(mktemp -d)
pids=()
cleanup() {
  exec 5>&- 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for f in "$work"/*.out "$work"/*.err "$work/Mylog.txt"; do echo "== $f"; tail -n 20 "$f"; done
  exit 1
}

corrections=$data/rtcm3/testglo.rtcm3
capture=$data/nmea/gpsd/skytraq-dgps.log

# Two free ports next to each other are not guaranteed: try a few.
for attempt in 1 2 3 4 5; do
  caster_port=$((20000 + RANDOM % 20000))
  input_port=$((caster_port + 1))
  str2str -in "tcpsvr://:$input_port" -out "ntripc://user:pass@:$caster_port/TEST" -b 1 >"$work/caster.out" 2>&1 &
  caster_pid=$!
  sleep 1
  if kill -0 "$caster_pid" 2>/dev/null && exec 5<>"/dev/tcp/127.0.0.1/$input_port"; then break; fi
  kill "$caster_pid" 2>/dev/null
  caster_pid=
done
[ -n "$caster_pid" ] || fail "str2str did not start"
pids+=("$caster_pid")
# What the caster relays back from its clients: the GGA.
cat <&5 >"$work/back.txt" &
pids+=($!)

"$tools/sextara-sim" --make enSkyTraq --baud 115200 --record "$work/record.bin" --duration 24 --epochs \
  "$capture" >"$work/sim.out" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/sim.out")
[ -e "$device" ] || fail "no simulated receiver"

"$tools/sextara-headless" --home "$work" --make enSkyTraq --port 3 --device "$device" --baud 115200 \
  --ntrip --caster 127.0.0.1 --caster-port "$caster_port" --mount TEST --user user --password pass \
  --seconds 16 $json >"$(std_of headless)" 2>"$(err_of headless)" &
headless_pid=$!
pids+=("$headless_pid")
for _ in $(seq 100); do grep -q "^Status: Connect Server" "$work/headless.out" && break; sleep 0.1; done
grep -q "^Status: Connect Server" "$work/headless.out" || fail "no connection to the caster"

# The whole file once, about 10 KB/s.
size=$(stat -c %s "$corrections")
for ((at = 0; at < size; at += 1024)); do
  dd if="$corrections" bs=1024 skip=$((at / 1024)) count=1 status=none >&5
  sleep 0.1
done
wait "$headless_pid" || fail "sextara-headless failed"
wait "$sim_pid"

# Every correction byte, in order, as one run in the record: the commands of
# the start go first, nothing follows.
tail -c "$size" "$work/record.bin" | cmp -s - "$corrections" ||
  fail "the record does not end with the corrections in order"

gga=$(grep -a -m 1 '^\$GPGGA' "$work/back.txt" | tr -d '\r')
[ -n "$gga" ] || fail "the caster received no GGA"
body=${gga#\$}
body=${body%\**}
sum=0
for ((i = 0; i < ${#body}; i++)); do sum=$((sum ^ $(printf '%d' "'${body:i:1}"))); done
[ "$(printf '%02X' "$sum")" = "${gga##*\*}" ] || fail "bad GGA checksum: $gga"
# The receiver's position of an epoch of the capture, to a few metres.
IFS=, read -r _ time lat ns lon ew quality _ <<<"$gga"
grep -aq "GGA,${time%%.*}[.0-9]*,${lat:0:7}[0-9]*,$ns,0\{0,1\}${lon:0:8}[0-9]*,$ew," "$capture" &&
  [ "$quality" != 0 ] || fail "GGA not at the receiver's position: $gga"
grep -qw pass "$work/Mylog.txt" && fail "the event log holds the password"

"$tools/sextara-headless" --home "$work" --port 9 --device /nonexistent --sourcetable --caster 127.0.0.1 \
  --caster-port "$caster_port" --seconds 10 $json >"$(std_of table)" 2>"$(err_of table)" || fail "--sourcetable failed"
if [ -z "$json" ]; then
  grep -q "^TEST	" "$work/table.out" || fail "--sourcetable did not print the mount point"
  echo "PASS"
  exit 0
fi
python3 - "$work/headless.json" "$work/table.json" "$size" <<'PY' || fail "the JSON output is not as it should be"
import json, sys
run, table, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
objects = [json.loads(line) for line in open(run)]  # every line one object
status = [o for o in objects if o.get("class") == "STATUS"]
corrections = [o for o in objects if o.get("class") == "CORRECTIONS"]
assert len(status) >= 10 and all(isinstance(status[-1][k], (int, float)) for k in
                                 ("lat", "lon", "alt", "time", "date", "fix", "pdop", "svs", "rms", "ntrip")), status[-1:]
last = corrections[-1]
assert last["state"] == "connected" and last["bytes"] == size and last["connects"] == 1, last
assert last["rtcm"]["crcErrors"] == 0 and last["rtcm"]["frames"] > 0 and last["base"] is not None, last
mounts = [json.loads(line) for line in open(table)]
assert any(o.get("mount") == "TEST" for o in mounts), mounts
PY
echo "PASS"

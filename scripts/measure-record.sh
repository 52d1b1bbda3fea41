#!/usr/bin/env bash
# Normal-mode recording with sextara-headless --record against sextara-sim
# at 115200 baud: CPU use and resident size of the runner, and whether the
# record file is exactly the tail of what the simulator sent.
#   scripts/measure-record.sh [SECONDS] [CAPTURE] [MAKE]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
capture=${2:-tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log}
make=${3:-enBlox9P}
build=${BUILD:-build-bench}
if [ "$build" = build-bench ]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j2 --target sextara-headless sextara-sim >/dev/null
fi

work=$(mktemp -d)
trap 'kill $sim $runner 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/records"
"$build/tools/sextara-sim" --make "$make" --baud 115200 --duration $((seconds + 120)) "$capture" >"$work/sim.out" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/sim.out")
"$build/tools/sextara-headless" --home "$work" --make "$make" --port 3 --device "$device" --baud 115200 \
  --record --record-mode normal --record-folder "$work/records" --record-name Meas >"$work/status.log" 2>&1 &
runner=$!
sleep 2

ticks() { awk '{print $14 + $15}' "/proc/$runner/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$runner/status"; }
hz=$(getconf CLK_TCK)
t0=$(date +%s.%N); c0=$(ticks); r0=$(rss); rmax=$r0
for _ in $(seq $(((seconds + 9) / 10))); do
  sleep 10
  kill -0 $runner 2>/dev/null || { echo "sextara-headless ended early:"; tail -n 5 "$work/status.log"; exit 1; }
  r1=$(rss); [ "$r1" -gt "$rmax" ] && rmax=$r1
done
t1=$(date +%s.%N); c1=$(ticks); r1=$(rss)
awk -v c0="$c0" -v c1="$c1" -v hz="$hz" -v t0="$t0" -v t1="$t1" \
  'BEGIN { printf "CPU: %.3f%% of one core over %.0f s\n", (c1 - c0) * 100 / hz / (t1 - t0), t1 - t0 }'
echo "RSS: first ${r0} kB, last ${r1} kB, max ${rmax} kB"
echo "last status lines:"; grep '^Record' "$work/status.log" | tail -n 2
# The simulator stops first, so every byte it sent has reached the runner.
kill -TERM $sim; wait $sim || true
sleep 1
kill -TERM $runner; wait $runner || true
sent=$(awk '/^sent/ {print $2}' "$work/sim.out")
file=$(ls "$work"/records/*)
size=$(stat -c %s "$file")
echo "simulator sent $sent bytes; record file $(basename "$file") holds $size bytes"
python3 - "$capture" "$file" "$sent" <<'PY'
import sys
capture = open(sys.argv[1], 'rb').read()
record = open(sys.argv[2], 'rb').read()
sent = int(sys.argv[3])
stream = capture * (sent // len(capture) + 1)
tail = stream[sent - len(record):sent]
print("record file equals the last %d bytes sent: %s" % (len(record), "yes" if tail == record else "NO"))
if tail != record:
    start = stream.find(record[:200])
    print("record starts at stream offset", start, "ends at", start + len(record), "of", sent, "match there:", stream[start:start+len(record)] == record)
sys.exit(0 if tail == record else 1)
PY
tail -n 3 "$work/status.log"
echo "event log:"; cat "$work/Mylog.txt"

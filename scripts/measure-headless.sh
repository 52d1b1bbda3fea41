#!/usr/bin/env bash
# Runs sextara-headless against sextara-sim streaming at 115200 baud and
# reports the runner's CPU use and resident size over the run.
#   scripts/measure-headless.sh [SECONDS] [CAPTURE|random] [MAKE]
# Defaults: 60 s, a u-blox ZED-F9P capture, enBlox9P. "random" streams random
# bytes at the full line rate instead (make enOther unless given).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
capture=${2:-tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log}
make=${3:-enBlox9P}
scripts/deps.sh test
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara-headless sextara-sim gps-latency >/dev/null

work=$(mktemp -d)
trap 'kill $sim $runner 2>/dev/null || true; rm -rf "$work"' EXIT
if [ "$capture" = random ]; then
  head -c 4194304 /dev/urandom >"$work/random.bin"
  capture=$work/random.bin
  [ "${3:-}" ] || make=enOther
fi

build-bench/tools/sextara-sim --make "$make" --baud 115200 --duration $((seconds + 60)) "$capture" >"$work/sim.out" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/sim.out")
build-bench/tools/sextara-headless --home "$work" --make "$make" --port 3 --device "$device" --baud 115200 \
  --seconds $((seconds + 30)) >"$work/status.log" 2>&1 &
runner=$!
sleep 2  # start-up and the first tick are not what is measured

ticks() { awk '{print $14 + $15}' "/proc/$runner/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$runner/status"; }
hz=$(getconf CLK_TCK)
t0=$(date +%s.%N); c0=$(ticks); r0=$(rss); rmax=$r0
echo "sampling every 10 s: elapsed_s rss_kB"
for _ in $(seq $(((seconds + 9) / 10))); do
  sleep 10
  kill -0 $runner 2>/dev/null || { echo "sextara-headless ended early:"; tail -n 5 "$work/status.log"; exit 1; }
  t1=$(date +%s.%N); c1=$(ticks); r1=$(rss)
  [ "$r1" -gt "$rmax" ] && rmax=$r1
  awk -v a="$t1" -v b="$t0" -v r="$r1" 'BEGIN { printf "  %6.0f %8d\n", a - b, r }'
done
awk -v c0="$c0" -v c1="$c1" -v hz="$hz" -v t0="$t0" -v t1="$t1" -v what="$make, $(basename "$capture")" \
  'BEGIN { printf "CPU: %.3f%% of one core over %.0f s (%s)\n", (c1 - c0) * 100 / hz / (t1 - t0), t1 - t0, what }'
echo "RSS: first ${r0} kB, last ${r1} kB, max ${rmax} kB"
echo "last status line:"; tail -n 1 "$work/status.log"
kill -TERM $runner
wait $runner || true
echo "exit after SIGTERM; event log:"; cat "$work/Mylog.txt" 2>/dev/null || echo "  (empty)"

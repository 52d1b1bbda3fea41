#!/usr/bin/env bash
# Scripted fault check: the simulated receiver is killed mid-stream under a
# running sextara-headless. Expected: no crash, no busy loop (a few CPU ticks
# in the 10 s after), one event-log line, and the same COM port opens again at
# once on a new simulator.
set -u
cd "$(dirname "$0")/.."
scripts/deps.sh test >/dev/null
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara-headless sextara-sim >/dev/null || exit 1
work=$(mktemp -d)
build-bench/tools/sextara-sim --make enBlox9P --baud 115200 --duration 60 tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log > $work/sim.out &
sim=$!
for _ in $(seq 100); do [ -s $work/sim.out ] && break; sleep 0.1; done
dev=$(head -1 $work/sim.out)
build-bench/tools/sextara-headless --home $work --make enBlox9P --port 3 --device $dev --baud 115200 --seconds 25 > $work/status.log 2>&1 &
hl=$!
sleep 5
kill -9 $sim; wait $sim 2>/dev/null
echo "sim killed at 5 s"
sleep 1
c0=$(awk '{print $14+$15}' /proc/$hl/stat); sleep 10; c1=$(awk '{print $14+$15}' /proc/$hl/stat)
echo "CPU ticks (1/100 s) of sextara-headless in the 10 s after the kill: $((c1-c0)); threads: $(ps -o nlwp= -p $hl)"
# A new simulator on a new pty: the same port opens again at once.
build-bench/tools/sextara-sim --make enBlox9P --baud 115200 --duration 20 tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log > $work/sim2.out &
sim2=$!
for _ in $(seq 100); do [ -s $work/sim2.out ] && break; sleep 0.1; done
dev2=$(head -1 $work/sim2.out)
build-bench/tools/sextara-headless --home $work --make enBlox9P --port 3 --device $dev2 --baud 115200 --seconds 3 > $work/status2.log 2>&1
echo "second open exit=$?"; tail -1 $work/status2.log | cut -c1-100
wait $hl; echo "first runner exit=$?"
echo "event log:"; cat $work/Mylog.txt
tail -1 $work/status.log | cut -c1-140
kill $sim2 2>/dev/null; rm -rf $work

#!/usr/bin/env bash
# Scripted fault check: the simulated receiver is killed mid-stream under a
# running sextara-headless. Expected: no crash, no busy loop (a few CPU ticks
# in the 10 s after), the status says the receiver is lost and the fix reads
# N/A no more; when a new simulator appears behind the same device path the
# runner opens it again by itself within about 2 s and shows live data. The
# event log gets one line for the loss and one for the return.
set -u
cd "$(dirname "$0")/.."
scripts/deps.sh test >/dev/null
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara-headless sextara-sim >/dev/null || exit 1
work=$(mktemp -d)
capture=tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log
build-bench/tools/sextara-sim --make enBlox9P --baud 115200 --duration 60 --link $work/gps $capture > $work/sim.out &
sim=$!
for _ in $(seq 100); do [ -s $work/sim.out ] && break; sleep 0.1; done
build-bench/tools/sextara-headless --home $work --make enBlox9P --port 3 --device $work/gps --baud 115200 --seconds 25 > $work/status.log 2>&1 &
hl=$!
sleep 5
kill -9 $sim; wait $sim 2>/dev/null
echo "sim killed at 5 s"
sleep 1
c0=$(awk '{print $14+$15}' /proc/$hl/stat); sleep 10; c1=$(awk '{print $14+$15}' /proc/$hl/stat)
echo "CPU ticks (1/100 s) of sextara-headless in the 10 s after the kill: $((c1-c0)); threads: $(ps -o nlwp= -p $hl)"
echo "status while lost:"; tail -1 $work/status.log | cut -c1-140
# A new simulator behind the same device path: the runner opens it again.
build-bench/tools/sextara-sim --make enBlox9P --baud 115200 --duration 20 --link $work/gps $capture > $work/sim2.out &
sim2=$!
wait $hl; echo "runner exit=$?"
echo "status at the end:"; tail -1 $work/status.log | cut -c1-140
echo "lost status lines: $(grep -c 'Receiver lost' $work/status.log)"
echo "event log:"; cat $work/Mylog.txt
kill $sim2 2>/dev/null; wait $sim2 2>/dev/null; rm -rf $work

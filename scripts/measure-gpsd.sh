#!/usr/bin/env bash
# CPU use of sextara-headless with its gpsd-protocol server against
# sextara-sim at 115200 baud, with 0, 1 and 10 clients watching (gpspipe -w,
# reading everything), and without the server for comparison.
#   scripts/measure-gpsd.sh [SECONDS] [CAPTURE] [MAKE]
# Defaults: 30 s per case, the NovAtel OEMV-3 capture, enNovtel.
# BUILD_DIR=build uses the binaries of that tree instead of a Release build.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
capture=${2:-tests/data/novatel/gavlab/ParsingData2.GPS}
make=${3:-enNovtel}
scripts/deps.sh test
bin=${BUILD_DIR:-build-bench}
if [ -z "${BUILD_DIR:-}" ]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j "$(nproc)" --target sextara-headless sextara-sim >/dev/null
fi

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
hz=$(getconf CLK_TCK)
port=$((20000 + RANDOM % 20000))

# measure CLIENTS SERVER(0|1): prints one result line.
measure() {
  local clients=$1 server=$2 home=$work/run-$1-$2 sim runner
  mkdir -p "$home"
  [ "$server" = 1 ] && printf '[GPSD]\nPort=%d\n' "$port" >"$home/config.ini"
  "$bin/tools/sextara-sim" --make "$make" --baud 115200 --duration $((seconds + 60)) "$capture" >"$home/sim.out" &
  sim=$!; pids+=($sim)
  for _ in $(seq 50); do [ -s "$home/sim.out" ] && break; sleep 0.1; done
  "$bin/tools/sextara-headless" --home "$home" --make "$make" --port 3 --device "$(head -n 1 "$home/sim.out")" \
    --baud 115200 --seconds $((seconds + 30)) >"$home/status.log" 2>&1 &
  runner=$!; pids+=($runner)
  sleep 2
  for _ in $(seq "$clients"); do
    gpspipe -w "127.0.0.1:$port" >/dev/null 2>&1 &
    pids+=($!)
  done
  sleep 2  # start-up, the first tick and the clients' connects are not measured
  local c0 c1 t0 t1
  c0=$(awk '{print $14 + $15}' "/proc/$runner/stat"); t0=$(date +%s.%N)
  sleep "$seconds"
  c1=$(awk '{print $14 + $15}' "/proc/$runner/stat"); t1=$(date +%s.%N)
  local status
  status=$(tail -n 1 "$home/status.log" | grep -o 'GPSD.*' || echo "no server")
  awk -v c0="$c0" -v c1="$c1" -v hz="$hz" -v t0="$t0" -v t1="$t1" -v what="$clients client(s), server $server" \
    -v status="$status" 'BEGIN { printf "%-26s CPU %.3f%% of one core over %.0f s  (%s)\n", what, (c1 - c0) * 100 / hz / (t1 - t0), t1 - t0, status }'
  kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  pids=()
  port=$((port + 1))
}

echo "sextara-headless, $make, $(basename "$capture"), 115200 baud:"
measure 0 0
measure 0 1
measure 1 1
measure 10 1

#!/usr/bin/env bash
# What the receiver link costs while it runs, side by side with gpsd on the
# same stream: sextara-headless and gpsd each read their own simulated
# receiver (sextara-sim, the same capture at 115200 baud) and are measured
# over the same SECONDS: CPU in % of one core and context switches per second
# over all threads of the process, from /proc, then each thread's switches.
#   scripts/measure-link.sh [SECONDS] [BEFORE_BUILD]
# Defaults: 120 s, the u-blox ZED-F9P capture (enBlox9P). BEFORE_BUILD names
# a second build tree whose tools/sextara-headless is measured in the same
# run, on a third simulator (e.g. a build of an older commit).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
before=${2:-}
capture=tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log
make=enBlox9P
warmup=5
scripts/deps.sh measure
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara-headless sextara-sim >/dev/null
if [ -n "$before" ] && [ ! -x "$before/tools/sextara-headless" ]; then
  echo "no $before/tools/sextara-headless" >&2
  exit 2
fi

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

# Starts a simulator streaming the capture; prints its device path.
start_sim() {
  build-bench/tools/sextara-sim --make "$make" --baud 115200 --duration $((seconds + warmup + 60)) \
    "$capture" >"$work/$1.sim" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/$1.sim" ] && break; sleep 0.1; done
  head -n 1 "$work/$1.sim"
}

# name:pid pairs of the measured processes, in report order.
measured=()
start_headless() {  # name, binary
  local device
  device=$(start_sim "$1")
  mkdir -p "$work/$1.home"
  "$2" --home "$work/$1.home" --make "$make" --port 3 --device "$device" --baud 115200 \
    --seconds $((seconds + warmup + 30)) >"$work/$1.log" 2>&1 &
  pids+=($!)
  measured+=("$1:$!")
}

[ -n "$before" ] && start_headless "sextara-before" "$before/tools/sextara-headless"
start_headless "sextara" build-bench/tools/sextara-headless
gpsd_device=$(start_sim gpsd)
gpsd_port=$((20000 + RANDOM % 20000))
# Foreground, read-only, fixed at the simulator's rate, listening on loopback
# only; it never needs to set the clock.
setpriv --bounding-set=-sys_time -- gpsd -N -n -b -s 115200 -S "$gpsd_port" "$gpsd_device" \
  >"$work/gpsd.log" 2>&1 &
pids+=($!)
measured+=("gpsd:$!")

sleep "$warmup"  # start-up, the first tick and gpsd's first packets are not what is measured

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Voluntary and involuntary switches of every thread the process has now.
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print n + 0}'
}
# Each thread's switches, named as the thread names itself: "name/tid comm count".
thread_switches() {  # name, pid
  local task
  for task in /proc/"$2"/task/*; do
    echo "$1/${task##*/} $(tr ' ' '_' <"$task/comm") $(awk '/ctxt_switches/ {n += $2} END {print n + 0}' "$task/status")"
  done 2>/dev/null
}
snapshot() {  # file
  local entry pid
  : >"$1"
  : >"$1.threads"
  for entry in "${measured[@]}"; do
    pid=${entry#*:}
    kill -0 "$pid" 2>/dev/null || { echo "${entry%%:*} ended early:"; tail -n 5 "$work/${entry%%:*}.log"; exit 1; }
    echo "${entry%%:*} $(ticks "$pid") $(switches "$pid") $(ls /proc/"$pid"/task | wc -l)" >>"$1"
    thread_switches "${entry%%:*}" "$pid" >>"$1.threads"
  done
  date +%s.%N >>"$1"
}

snapshot "$work/t0"
sleep "$seconds"
snapshot "$work/t1"

hz=$(getconf CLK_TCK)
echo "link at 115200 baud, $(basename "$capture") ($make), ${seconds} s:"
paste -d ' ' <(head -n -1 "$work/t0") <(head -n -1 "$work/t1") |
  awk -v hz="$hz" -v t0="$(tail -n 1 "$work/t0")" -v t1="$(tail -n 1 "$work/t1")" '
    { cpu[NR] = ($6 - $2) * 100 / hz / (t1 - t0); cs[NR] = ($7 - $3) / (t1 - t0); name[NR] = $1; th[NR] = $8
      if ($1 == "gpsd") g = NR }
    END {
      printf "  %-15s %10s %14s %8s\n", "process", "CPU %", "switches/s", "threads"
      for (i = 1; i <= NR; i++) printf "  %-15s %10.3f %14.1f %8d\n", name[i], cpu[i], cs[i], th[i]
      for (i = 1; i <= NR; i++) if (i != g && cpu[g] > 0)
        printf "  %s CPU / gpsd CPU: %.2f\n", name[i], cpu[i] / cpu[g]
    }'
echo "switches/s by thread:"
join <(sort "$work/t0.threads") <(sort "$work/t1.threads") |
  awk -v t0="$(tail -n 1 "$work/t0")" -v t1="$(tail -n 1 "$work/t1")" '
    { split($1, id, "/"); printf "  %-15s %-16s %8.1f\n", id[1], $2, ($5 - $3) / (t1 - t0) }' | sort -k1,1 -k3,3nr
for entry in "${measured[@]}"; do
  case $entry in sextara*) echo "last status line of ${entry%%:*}: $(tail -n 1 "$work/${entry%%:*}.log")" ;; esac
done

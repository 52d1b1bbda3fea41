#!/usr/bin/env bash
# The window's cost over a long run with everything a field user keeps
# going: sextara on its own Xvfb against sextara-sim (the u-blox ZED-F9P
# capture at 115200 baud), an NTRIP connection to str2str on loopback that
# serves an RTCM capture in a loop (about 2.5 KB/s), and a normal-mode
# recording. Both are started through the window's own pages with xdotool,
# as a user would. CPU (% of one core) and resident size are sampled every
# STEP seconds; the summary gives the run's CPU, context switches per second
# over all threads and how the resident size moved.
#   scripts/measure-window.sh [SECONDS] [BEFORE_BUILD] [STEP]
# Default 600 s, sampled every 30 s. BEFORE_BUILD names a second build tree whose tools/sextara
# runs beside this one, on its own display, simulator and caster, in the
# same run. The window runs without the right to set the clock.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
before=${2:-}
step=${3:-30}
capture=$PWD/tests/data/nmea/gpsd/ublox-zed-f9p-nmea.log
corrections=$PWD/tests/data/rtcm3/rtcm3.2.log
scripts/deps.sh test
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara sextara-sim sextara-headless LangRes >/dev/null
if [ -n "$before" ] && [ ! -x "$before/tools/sextara" ]; then
  echo "no $before/tools/sextara" >&2
  exit 2
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to $2 seconds for a window named $1 (a regular expression) on the
# current display; prints its id.
wait_window() {
  local deadline=$((SECONDS + $2)) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
click() { xdotool mousemove "$1" "$2" click 1; sleep 1; }

# Feeds the RTCM capture into the caster's input in a loop, 256 bytes every
# 0.1 s.
feed() {
  exec 5<>"/dev/tcp/127.0.0.1/$1" || exit 1
  local size at
  size=$(stat -c %s "$corrections")
  while :; do
    for ((at = 0; at < size; at += 256)); do
      dd if="$corrections" bs=256 skip=$((at / 256)) count=1 status=none >&5 || exit 0
      sleep 0.1
    done
  done
}

# One rig: display, simulator, caster, window with the link and the
# recording started. Sets app_pid.
start_rig() {  # name, sextara binary
  local name=$1 program=$2 dir=$work/$1 display device caster_port input_port id
  mkdir -p "$dir/home" "$dir/tmp" "$dir/rec"
  exec 3<> <(:)
  # -noreset: without it the server resets each time its last client
  # leaves, and the window starting next could meet that reset.
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  pids+=($!)
  read -r -t 10 display <&3 || fail "$name: Xvfb did not start"
  exec 3<&-
  build-bench/tools/sextara-sim --make enBlox9P --baud 115200 --duration $((seconds + 300)) "$capture" \
    >"$dir/sim.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$dir/sim.out" ] && break; sleep 0.1; done
  device=$(head -n 1 "$dir/sim.out")
  for _ in 1 2 3 4 5; do
    caster_port=$((20000 + RANDOM % 20000))
    input_port=$((caster_port + 1))
    str2str -in "tcpsvr://:$input_port" -out "ntripc://:$caster_port/TEST" >"$dir/caster.out" 2>&1 &
    local caster=$!
    sleep 1
    if kill -0 "$caster" 2>/dev/null; then pids+=("$caster"); break; fi
    caster_port=
  done
  [ -n "$caster_port" ] || fail "$name: str2str did not start"
  feed "$input_port" >"$dir/feed.out" 2>&1 &
  pids+=($!)
  # The mount point list comes from the caster's table, fetched the way the
  # page's "Update SourceTable" does; then the settings the pages start from.
  build-bench/tools/sextara-headless --home "$dir/home" --sourcetable --caster 127.0.0.1 \
    --caster-port "$caster_port" --port 99 >"$dir/table.out" 2>&1 || fail "$name: no source table"
  printf '[PORT]\nGPSPort=3\nGPSBaud=115200\n[BOARDTYPE]\nType=enBlox9P\n[LANG]\nLanguage=1\n[COMMAP]\nCOM3=%s\n' \
    "$device" >"$dir/home/config.ini"
  cat >"$dir/home/registry.ini" <<EOF
[software\\Brellmark]
"LOGNAME"="window"
"LOGTYPE"=dword:00000001
"INTERVAL"=dword:00000003
"CUTOFF"=dword:0000000a
"DATATRANSF"=dword:00000000
[software\\GPS\\GPS]
"CasterAddress"="127.0.0.1"
"Port"=dword:$(printf %08x "$caster_port")
"Mount"="TEST"
"User"=""
"Pass"=""
"ReConnect_Times"=dword:00000003
"UseInputGGA"=dword:00000000
"SendCurrentGGA"=dword:00000000
EOF
  chmod 600 "$dir/home/registry.ini"

  export DISPLAY=":$display" QT_QPA_PLATFORM=xcb TMPDIR=$dir/tmp
  unset WAYLAND_DISPLAY
  setpriv --bounding-set=-sys_time -- "$program" --home "$dir/home" --geometry 480x640 >"$dir/app.out" 2>&1 &
  app_pid=$!
  pids+=("$app_pid")
  wait_window '^Sextara$' 20 >/dev/null || fail "$name: no window"
  id=$(wait_window '^(Configuration|配置选择)$' 20) || fail "$name: no start-up dialog"
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  xdotool key Return
  sleep 3
  # Setup, Ntrip/TCP/PORT, Ntrip Client; Start; Return (the link keeps running).
  click 120 612
  xdotool mousemove 80 647
  sleep 1
  click 220 646
  wait_window '^Ntrip Client$' 10 >/dev/null || fail "$name: no NTRIP page"
  click 50 570
  sleep 3
  click 428 570
  # Setup, Data Record; the folder; Start; Return (the recording keeps running).
  click 120 612
  click 70 690
  wait_window '^Recording$' 10 >/dev/null || fail "$name: no recording page"
  click 197 94
  xdotool key ctrl+a
  xdotool type --delay 5 "$dir/rec"
  click 85 570
  sleep 2
  click 355 570
  xdotool search --onlyvisible --name '^(Ntrip Client|Recording)$' >/dev/null 2>&1 && fail "$name: a page stayed open"
  ls "$dir/rec"/window_*.dat >/dev/null 2>&1 || fail "$name: no record file"
  # str2str's status line names the clients of its output, the caster: "(1) 127.0.0.1".
  for _ in $(seq 20); do tail -n 1 "$dir/caster.out" | grep -q '(1) [0-9]' && break; sleep 1; done
  tail -n 1 "$dir/caster.out" | grep -q '(1) [0-9]' || fail "$name: the caster has no client"
  unset DISPLAY TMPDIR
}

names=()
apps=()
if [ -n "$before" ]; then
  start_rig before "$before/tools/sextara"
  names+=(before)
  apps+=("$app_pid")
fi
start_rig sextara build-bench/tools/sextara
names+=(sextara)
apps+=("$app_pid")

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
# Voluntary and involuntary switches of every thread the process has now.
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print n + 0}'
}
record_size() { stat -c %s "$work/$1"/rec/window_*.dat | awk '{s += $1} END {print s + 0}'; }
declare -A t0 c0 r0 rmax cprev s0
start=$(date +%s.%N)
for i in "${!names[@]}"; do
  n=${names[$i]}
  c0[$n]=$(ticks "${apps[$i]}")
  s0[$n]=$(switches "${apps[$i]}")
  cprev[$n]=${c0[$n]}
  r0[$n]=$(rss "${apps[$i]}")
  rmax[$n]=${r0[$n]}
done
printf "%8s" "t_s"
for n in "${names[@]}"; do printf " %12s %12s" "$n CPU%" "$n RSS kB"; done
echo
: >"$work/rss.samples"
tprev=$start
for _ in $(seq $(((seconds + step - 1) / step))); do
  sleep "$step"
  now=$(date +%s.%N)
  printf "%8.0f" "$(awk -v a="$now" -v b="$start" 'BEGIN { print a - b }')"
  for i in "${!names[@]}"; do
    n=${names[$i]}
    kill -0 "${apps[$i]}" 2>/dev/null || fail "$n: the window ended early"
    c=$(ticks "${apps[$i]}")
    r=$(rss "${apps[$i]}")
    [ "$r" -gt "${rmax[$n]}" ] && rmax[$n]=$r
    printf " %12.2f %12d" "$(awk -v c="$c" -v p="${cprev[$n]}" -v hz="$hz" -v a="$now" -v b="$tprev" \
      'BEGIN { print (c - p) * 100 / hz / (a - b) }')" "$r"
    echo "$n $(awk -v a="$now" -v b="$start" 'BEGIN { print a - b }') $r" >>"$work/rss.samples"
    cprev[$n]=$c
  done
  echo
  tprev=$now
done
echo "summary over $(awk -v a="$tprev" -v b="$start" 'BEGIN { printf "%.0f", a - b }') s:"
for i in "${!names[@]}"; do
  n=${names[$i]}
  c=${cprev[$n]}
  r=$(rss "${apps[$i]}")
  # Least-squares slope of the resident size over the samples, kB per minute.
  slope=$(awk -v n="$n" '$1 == n { k++; sx += $2; sy += $3; sxx += $2 * $2; sxy += $2 * $3 }
    END { d = k * sxx - sx * sx; printf "%.1f", (d > 0 ? 60 * (k * sxy - sx * sy) / d : 0) }' "$work/rss.samples")
  printf "  %-8s CPU %.3f%% of one core, %.1f switches/s; RSS first %d kB, last %d kB, max %d kB, trend %s kB/min; record %d bytes\n" \
    "$n" "$(awk -v c="$c" -v p="${c0[$n]}" -v hz="$hz" -v a="$tprev" -v b="$start" \
      'BEGIN { print (c - p) * 100 / hz / (a - b) }')" \
    "$(awk -v s="$(switches "${apps[$i]}")" -v p="${s0[$n]}" -v a="$(date +%s.%N)" -v b="$start" \
      'BEGIN { print (s - p) / (a - b) }')" "${r0[$n]}" "$r" "${rmax[$n]}" "$slope" "$(record_size "$n")"
  echo "  $n caster: $(tail -n 1 "$work/$n/caster.out")"
done

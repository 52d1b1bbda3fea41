#!/usr/bin/env bash
# The window's drawing and start-up figures, beside an older build in one
# run: the main view's paint of one frame at 240x320 (sextara-view-bench
# Frame/240/320: the median CPU time of 5 repetitions, each several thousand
# frames), and start to first frame of `sextara --geometry 240x320` on an Xvfb
# of its own (bench/first-frame: from the fork to the first pixels the window
# puts on the screen), RUNS starts of each build, taken in turns, after one
# start each that is not counted (font caches).
#   scripts/measure-view.sh [RUNS] [BEFORE_BUILD]
# Default 10 runs. BEFORE_BUILD names a second build tree (of an older
# commit) whose tools/sextara and bench/sextara-view-bench are measured too.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
before=${2:-}
scripts/deps.sh measure
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara sextara-view-bench first-frame >/dev/null
trees=(build-bench)
names=(sextara)
if [ -n "$before" ]; then
  for program in tools/sextara bench/sextara-view-bench; do
    [ -x "$before/$program" ] || { echo "no $before/$program" >&2; exit 2; }
  done
  trees=("$before" "${trees[@]}")
  names=(before "${names[@]}")
fi

work=$(mktemp -d)
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "paint of one frame at 240x320 (CPU time, median of 5 repetitions):"
for i in "${!trees[@]}"; do
  "${trees[$i]}/bench/sextara-view-bench" --benchmark_filter='^Frame/240/320$' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, -v n="${names[$i]}" '$1 ~ /_median"?$/ { printf "  %-8s %8.1f us\n", n, $4 }'
done

# -noreset: the server would otherwise reset each time the last client
# leaves, and a start could meet that reset.
exec 3<> <(:)
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 10 display <&3 || { echo "Xvfb did not start" >&2; exit 1; }
exec 3<&-
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run
unset WAYLAND_DISPLAY
mkdir -m 700 "$work/run"

start() {  # index; prints the first frame's milliseconds
  local home=$work/home-$1
  mkdir -p "$home"
  # The start-up dialog comes 300 ms after the start and needs a receiver;
  # the window is ended before that matters. No right to set the clock.
  setpriv --bounding-set=-sys_time -- build-bench/bench/first-frame "${trees[$1]}/tools/sextara" \
    --home "$home" --geometry 240x320 2>/dev/null | awk '{ print $6 }'
}
for i in "${!trees[@]}"; do start "$i" >/dev/null; done
for _ in $(seq "$runs"); do
  for i in "${!trees[@]}"; do
    ms=$(start "$i")
    [ -n "$ms" ] || { echo "${names[$i]}: no first frame" >&2; exit 1; }
    echo "$ms" >>"$work/frames-$i"
  done
done
echo "start to first frame, sextara --geometry 240x320 on Xvfb ($runs starts each):"
for i in "${!trees[@]}"; do
  sort -n "$work/frames-$i" | awk -v n="${names[$i]}" '{ v[NR] = $1 }
    END { printf "  %-8s median %6.1f ms, min %6.1f ms, 90th %6.1f ms, max %6.1f ms\n", n, v[int((NR + 1) / 2)], v[1],
          v[int(0.9 * NR + 0.5)], v[NR] }'
done

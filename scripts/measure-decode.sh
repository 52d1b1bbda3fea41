#!/usr/bin/env bash
# Decoding speed as a user runs the decode tool, side by side with gpsd's
# gpsdecode on the same bytes: every NMEA capture of tests/data/captures.tsv
# concatenated, repeated to about 32 MB, timed through
# `sextara-decode --make M --emit end FILE` (its default random chunks) for
# each NMEA parser, and through `gpsdecode < FILE`. The NovAtel captures and
# the GSOF seed packets go through their decoders the same way (gpsdecode
# reads neither). Best CPU time of several runs, in MB/s (10^6 bytes).
#   scripts/measure-decode.sh [BEFORE_BUILD]
# BEFORE_BUILD names a second build tree whose tools/sextara-decode is timed
# in the same run (e.g. a build of an older commit).
set -euo pipefail
cd "$(dirname "$0")/.."
before=${1:-}
target_bytes=$((32 * 1000 * 1000))
runs=5
peer_runs=3
scripts/deps.sh measure
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara-decode >/dev/null
tools=(build-bench/tools/sextara-decode)
names=(sextara)
if [ -n "$before" ]; then
  [ -x "$before/tools/sextara-decode" ] || { echo "no $before/tools/sextara-decode" >&2; exit 2; }
  tools=("$before/tools/sextara-decode" "${tools[@]}")
  names=(before "${names[@]}")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Concatenates the files N times into $1, N chosen to reach the target size.
corpus() {
  local out=$1 once=$work/once
  shift
  cat "$@" >"$once"
  local size reps
  size=$(stat -c %s "$once")
  reps=$(((target_bytes + size - 1) / size))
  for _ in $(seq "$reps"); do cat "$once"; done >"$out"
  rm -f "$once"
}
listed() {  # captures.tsv rows whose path starts with $1
  awk -F'\t' -v p="$1" '!/^#/ && index($1, p) == 1 {print "tests/data/" $1}' tests/data/captures.tsv
}
mapfile -t nmea < <(listed nmea/)
mapfile -t novatel < <(listed novatel/)
corpus "$work/nmea" "${nmea[@]}"
corpus "$work/novatel" "${novatel[@]}"
corpus "$work/gsof" tests/fuzz-seeds/gsof/*.bin

# Best CPU time (user + system) of $1 runs of the rest of the line, in
# seconds: on a machine that others share, CPU time moves far less with their
# load than the wall clock does, and both programs are timed alike.
best_of() {
  local n=$1 best= t
  shift
  for _ in $(seq "$n"); do
    t=$( { TIMEFORMAT="%3U %3S"; time "$@" >/dev/null 2>&1; } 2>&1 | tail -n 1 | awk '{ printf "%.3f", $1 + $2 }')
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}
mbps() { awk -v b="$(stat -c %s "$1")" -v s="$2" 'BEGIN { printf "%.1f", b / 1e6 / s }'; }
peer() { gpsdecode <"$1"; }

peer_s=$(best_of "$peer_runs" peer "$work/nmea")
peer_mbps=$(mbps "$work/nmea" "$peer_s")
echo "corpus: ${#nmea[@]} NMEA captures, $(stat -c %s "$work/nmea") bytes; gpsdecode ${peer_mbps} MB/s"
printf "  %-14s %-12s" corpus make
for name in "${names[@]}"; do printf " %16s" "$name MB/s"; done
for name in "${names[@]}"; do printf " %14s" "$name/gpsdecode"; done
echo
row() {  # corpus name, make, compare with the peer
  local file=$work/$1 make=$2 i s
  local -a rates=()
  for i in "${!tools[@]}"; do
    s=$(best_of "$runs" "${tools[$i]}" --make "$make" --emit end "$file")
    rates+=("$(mbps "$file" "$s")")
  done
  printf "  %-14s %-12s" "$1" "$make"
  for r in "${rates[@]}"; do printf " %16s" "$r"; done
  if [ "$3" = yes ]; then
    for r in "${rates[@]}"; do printf " %13.1fx" "$(awk -v a="$r" -v b="$peer_mbps" 'BEGIN { print a / b }')"; done
  fi
  echo
}
for make in enOther enSkyTraq enHemis enBlox8T enBlox9P enTrimbleNMEA; do row nmea "$make" yes; done
row novatel enNovtel no
row novatel enCompass no
row gsof enTrimble no

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan with array bounds, so
# an index past a satellite table traps where the array type is still known,
# and checked std::array/std::span indexing) and runs each for a bounded time,
# seeded from the real captures.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh fuzz
seconds=${1:-60}
flags="-fsanitize=fuzzer-no-link,address,undefined,bounds -fno-sanitize-recover=all -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DSEXTARA_BUILD_TESTS=OFF -DSEXTARA_BUILD_BENCH=OFF -DSEXTARA_BUILD_FUZZERS=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target sextara-fuzzers

mkdir -p build-fuzz/corpus build-fuzz/logs
# FUZZ_JOBS targets run at once (default 1); each uses one core.
parallel=${FUZZ_JOBS:-1}
run_one() {
  local bin=$1 name seeds corpus
  name=$(basename "$bin")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  case $name in
    nmea_*) seeds=tests/data/nmea ;;
    novatel_*) seeds=tests/data/novatel ;;
    gsof_*) seeds=tests/fuzz-seeds/gsof ;;  # no real GSOF capture exists; built packets stand in
    rtcm3_*) seeds=tests/data/rtcm3 ;;
    gpsd_*) seeds=tests/data/nmea ;;  # receiver streams; client requests grow from them
    *) echo "no seeds for $name" >&2; return 1 ;;
  esac
  "$bin" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 "$corpus" "$seeds" \
    >"build-fuzz/logs/$name.log" 2>&1
}
pids=()
names=()
for bin in build-fuzz/fuzz/*_fuzzer; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  echo "== $(basename "$bin") for ${seconds}s"
  run_one "$bin" &
  pids+=($!)
  names+=("$(basename "$bin")")
done
failed=0
for i in "${!pids[@]}"; do
  name=${names[$i]}
  if wait "${pids[$i]}"; then
    printf '%-24s' "$name"
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "build-fuzz/logs/$name.log" | tr -s ' \n' ' '
    echo
  else
    echo "$name FAILED:"; tail -n 40 "build-fuzz/logs/$name.log"; failed=1
  fi
done
exit $failed

#!/usr/bin/env bash
# Decoder throughput on the real captures, in MB/s (optimised build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEXTARA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target sextara-bench
build-bench/bench/sextara-bench "$@"

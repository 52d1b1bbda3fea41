#!/usr/bin/env bash
# Builds Sextara and runs the application without a display against a
# simulated receiver (sextara-sim on a pty) that streams a bundled real
# capture: ten status values once a second, no hardware needed.
#   scripts/demo.sh [SECONDS]   (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target sextara-headless sextara-sim sextara-decode
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
build/tools/sextara-headless --demo --home "$home" --seconds "${1:-15}"

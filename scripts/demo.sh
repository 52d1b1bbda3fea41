#!/usr/bin/env bash
# Builds Sextara and runs it against a simulated receiver (sextara-sim on a
# pty) that plays a bundled real capture in real time, one epoch a second:
# no hardware needed.
#   scripts/demo.sh [SECONDS]   (default 15; only for the run without a display)
# With a display ($DISPLAY or $WAYLAND_DISPLAY) the window opens; confirm the
# start-up dialog and watch. Without one the application runs headless,
# printing the ten status values once a second, and then draws the main view
# into a file when the program can.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

# Everything either branch runs is built first, so the demo, once started,
# never stops for a build.
cmake --build build -j "$(nproc)" --target sextara sextara-headless sextara-sim

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/tools/sextara --demo --home "$home"
  exit 0
fi

build/tools/sextara-headless --demo --home "$home" --seconds "${1:-15}"

# Without a display, the window's main view as a picture of the same capture.
shot="$PWD/build/sextara-demo.png"
build/tools/sextara --screenshot "$shot" --size 240x320 \
  --capture tests/data/nmea/gpsd/skytraq-dgps.log --make enSkyTraq
echo "Screenshot of the main view: $shot"

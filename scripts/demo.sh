#!/usr/bin/env bash
# Builds Sextara and decodes a bundled real capture (a u-blox ZED-F9P in RTK
# float), printing the decoded state record.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target sextara-decode
build/tools/sextara-decode --make enBlox9P tests/data/nmea/hazer/simplertk2b_rover.dat

#!/usr/bin/env bash
# Installs the Debian packages a task needs when they are missing. As root it
# runs apt-get; otherwise it prints the apt-get line to run and fails.
#   scripts/deps.sh build|test|fuzz|measure
set -euo pipefail

build=(cmake ninja-build g++ make pkg-config libcli11-dev libssl-dev nlohmann-json3-dev qt6-base-dev fonts-liberation2 fonts-wqy-microhei)
test=(googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool imagemagick rtklib gpsd-clients python3-gps openssl)
fuzz=(clang libclang-rt-14-dev)
# The peers the measurement scripts compare against, and Xlib for the
# first-frame timer.
measure=(gpsd gpsd-clients libx11-dev)

want=("${build[@]}")
case "${1:-build}" in
  build) ;;
  test) want+=("${test[@]}") ;;
  fuzz) want+=("${test[@]}" "${fuzz[@]}") ;;
  measure) want+=("${test[@]}" "${measure[@]}") ;;
  *) echo "usage: $0 build|test|fuzz|measure" >&2; exit 2 ;;
esac

missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing Debian packages. Run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

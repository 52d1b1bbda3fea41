#!/usr/bin/env bash
# Checks the service unit with systemd-analyze verify, its ExecStart pointed
# at the built sextara-headless. Skips (77) where systemd-analyze is missing
# or cannot verify even a trivial unit (some containers).
#   systemd_verify.sh UNIT_TEMPLATE SEXTARA_HEADLESS
set -euo pipefail
template=$1 headless=$2
command -v systemd-analyze >/dev/null || { echo "systemd-analyze missing: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '[Service]\nExecStart=/bin/true\n' >"$work/sextara-probe.service"
if ! systemd-analyze verify "$work/sextara-probe.service" >"$work/probe.log" 2>&1; then
  echo "systemd-analyze cannot verify here: skipped"; cat "$work/probe.log"; exit 77
fi

sed "s|@SEXTARA_HEADLESS_PATH@|$headless|" "$template" >"$work/sextara-headless.service"
if ! systemd-analyze verify "$work/sextara-headless.service" >"$work/verify.log" 2>&1; then
  cat "$work/verify.log"; exit 1
fi
# Warnings about the unit itself (unknown keys, bad values) fail it too.
if grep -F "sextara-headless.service:" "$work/verify.log"; then exit 1; fi
echo "sextara-headless.service verified"

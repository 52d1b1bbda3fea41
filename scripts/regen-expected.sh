#!/usr/bin/env bash
# Rewrites the expected outputs of the capture tests, one per row of
# tests/data/captures.tsv: tests/data/expected/<path>.json is what
# `sextara-decode --make M --chunk 2048 --emit end <path>` prints; for the
# captures listed in tests/data/change-goldens.txt also
# tests/data/expected/<path>.changes.jsonl, what `--emit change` prints. Run it only
# when a decoder change is meant to change them, and say why in the commit.
#   scripts/regen-expected.sh [PATH_TO_SEXTARA_DECODE]
# Without the argument the tool is built in build-regen first.
set -euo pipefail
cd "$(dirname "$0")/.."

tool=${1:-}
if [ -z "$tool" ]; then
  scripts/deps.sh build
  cmake -S . -B build-regen -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSEXTARA_BUILD_TESTS=OFF -DSEXTARA_BUILD_BENCH=OFF >/dev/null
  cmake --build build-regen --target sextara-decode >/dev/null
  tool=build-regen/tools/sextara-decode
fi

data=tests/data
out=$data/expected
mkdir -p "$out"
declare -A listed=()
rows=0
while IFS=$'\t' read -r path make _ || [ -n "${path:-}" ]; do
  case $path in ''|'#'*) continue ;; esac
  target=$out/$path.json
  mkdir -p "$(dirname "$target")"
  "$tool" --make "$make" --chunk 2048 --emit end "$data/$path" >"$target.tmp"
  mv "$target.tmp" "$target"
  listed[$target]=1
  rows=$((rows + 1))
done <"$data/captures.tsv"

changes=0
while IFS= read -r path || [ -n "${path:-}" ]; do
  case $path in ''|'#'*) continue ;; esac
  make=$(awk -F'\t' -v p="$path" '$1 == p { print $2 }' "$data/captures.tsv")
  if [ -z "$make" ]; then
    echo "change-goldens.txt: $path is not in captures.tsv" >&2
    exit 1
  fi
  target=$out/$path.changes.jsonl
  "$tool" --make "$make" --chunk 2048 --emit change "$data/$path" >"$target.tmp"
  mv "$target.tmp" "$target"
  listed[$target]=1
  changes=$((changes + 1))
done <"$data/change-goldens.txt"

# Outputs of captures no longer in the table would otherwise linger unchecked.
while IFS= read -r -d '' stale; do
  [ -n "${listed[$stale]:-}" ] || { echo "removing $stale"; rm -f "$stale"; }
done < <(find "$out" -type f \( -name '*.json' -o -name '*.changes.jsonl' \) -print0)
find "$out" -mindepth 1 -type d -empty -delete

echo "wrote $rows expected outputs and $changes change outputs under $out"

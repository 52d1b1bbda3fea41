#!/usr/bin/env bash
# Builds everything and runs every test twice: in a normal build and under
# AddressSanitizer with UndefinedBehaviorSanitizer, so a memory fault fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

jobs=$(nproc)
run_tree() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_tree build-asan -DCMAKE_BUILD_TYPE=Debug -DSEXTARA_SANITIZE=address,undefined -DSEXTARA_BUILD_BENCH=OFF

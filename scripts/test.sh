#!/usr/bin/env bash
# Builds everything (the window included) and runs every test twice: in a
# normal build and under AddressSanitizer with UndefinedBehaviorSanitizer, so
# a memory fault fails. The window tests run offscreen; the end-to-end test
# starts its own Xvfb.
# Then the threaded code (serial path, port detector) runs a third time under
# ThreadSanitizer, so a data race fails.
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
# Qt, fontconfig and GLib keep caches until exit; only those are suppressed.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
run_tree build-asan -DCMAKE_BUILD_TYPE=Debug -DSEXTARA_SANITIZE=address,undefined -DSEXTARA_BUILD_BENCH=OFF

# Only the tests whose threads meet over real ptys and sockets (serial path,
# detector, application core, correction link, gpsd server): a ThreadSanitizer build of
# everything would only add build time.
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSEXTARA_SANITIZE=thread -DSEXTARA_BUILD_BENCH=OFF -DSEXTARA_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target test_platform test_receiver test_app test_tools test_corrections test_record test_gpsd
ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
  -R 'SerialPort|GpsPath|SerialDevice|Event|PortDetector|StartupSetThroughSerialPort|AppContext|AppCore|ReceiverSim|Link|LinkDrain|Caster|HostileCaster|LinkPauses|TlsCaster|Ipv6Caster|PortClient|QueueMessageSink|WakeFd|RecorderTest|ForwardTest|RestoreFlow|HealthMeterThreads|GpsdServer|GpsdPeers'

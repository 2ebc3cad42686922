#!/usr/bin/env bash
# Sets everything up, builds Murmura and runs the whole test suite.
#   ./scripts/test.sh              release build in build/
#   ./scripts/test.sh --sanitize   core built with AddressSanitizer + UBSan in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DMURMURA_SANITIZE=ON -DMURMURA_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

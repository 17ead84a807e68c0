#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the tests.
#   scripts/test.sh                      normal build in build/
#   scripts/test.sh --sanitize address   AddressSanitizer + UndefinedBehaviorSanitizer in build-address/
#   scripts/test.sh --sanitize thread    ThreadSanitizer in build-thread/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh

build=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build="build-${2:?address or thread}"
  extra=(-DCORVALIS_SANITIZE="$2" -DCORVALIS_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}:verify_asan_link_order=0"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
  export TSAN_OPTIONS="${TSAN_OPTIONS:-}:suppressions=$PWD/tests/tsan.supp"
fi
cmake -S . -B "$build" -G Ninja "${extra[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2

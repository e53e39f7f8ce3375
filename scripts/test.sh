#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs every test: the normal
# build, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the stream service's tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

run_ctest() {  # run_ctest DIR [ctest options...]
  local dir=$1; shift
  scripts/with-display.sh ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
}

echo "== normal build"
build build
run_ctest build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DMERVANE_SANITIZE=address,undefined -DMERVANE_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=0:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build-asan

echo "== ThreadSanitizer (stream service)"
build build-tsan -DMERVANE_SANITIZE=thread -DMERVANE_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest build-tsan -R '^Net|^Stream|net_tests'

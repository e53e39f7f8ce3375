#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs every test: the normal
# build, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the stream service's tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

build() {  # build DIR [cmake options...] [-- targets...]
  local dir=$1; shift
  local options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=(--target "$@")
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
  cmake --build "$dir" -j"$jobs" "${targets[@]}"
}

run_ctest() {  # run_ctest DIR [ctest options...]
  local dir=$1; shift
  scripts/with-display.sh ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
}

echo "== normal build"
build build
run_ctest build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer + LeakSanitizer"
# The player started by the end-to-end tests inherits these: a leak or an
# error in it fails its exit status and so the test.
build build-asan -DMERVANE_SANITIZE=address,undefined -DMERVANE_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build-asan -E '^packaging\.'

echo "== ThreadSanitizer (stream service)"
build build-tsan -DMERVANE_SANITIZE=thread -DMERVANE_BUILD_BENCH=OFF -- net_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/net_tests

if [ -x scripts/fuzz.sh ]; then
  echo "== Fuzzing"
  FUZZ_SECONDS="${FUZZ_SECONDS:-60}" scripts/fuzz.sh
fi

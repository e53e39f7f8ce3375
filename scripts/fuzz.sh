#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz, runs each over its
# seeds and kept crash inputs, then fuzzes each for FUZZ_SECONDS (default 60)
# from a copy of its seed corpus inside the build directory, so the
# repository is never written. Exits non-zero when any target crashed,
# leaked, timed out or broke a check; the input is left under
# build-fuzz/artifacts/<target>/ for fuzz/regressions/<target>/.
#   FUZZ_SECONDS=N      fuzzing time per target
#   FUZZ_TARGETS="a b"  only these targets
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-"fuzz_settings fuzz_command_line fuzz_url_conversion fuzz_http_response"}
build=$PWD/build-fuzz
# One input may take a loopback exchange with a 5 s wait; far more is a hang.
input_timeout=20

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMERVANE_FUZZ=ON -DMERVANE_BUILD_TESTS=OFF -DMERVANE_BUILD_BENCH=OFF \
  -DMERVANE_SANITIZE=address,undefined \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null || exit 1
cmake --build "$build" --target fuzz_targets -j"${FUZZ_JOBS:-2}" || exit 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The targets make their scratch trees here, so a crashed run leaves nothing
# behind outside the build directory.
export TMPDIR=$build/tmp
mkdir -p "$TMPDIR"

echo "== kept inputs"
ctest --test-dir "$build/fuzz" --output-on-failure -R "^($(echo $targets | tr ' ' '|'))_inputs\$" || exit 1

failed=()
summary=()
for target in $targets; do
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  log=$build/logs/$target.log
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null

  echo "== $target: ${seconds}s"
  start=$(date +%s)
  "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout="$input_timeout" \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
  status=$?
  spent=$(( $(date +%s) - start ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  line="$target: ${runs:-?} executions in ${spent}s, corpus $(ls "$corpus" | wc -l) inputs"
  if [ $status -ne 0 ]; then
    line="$line, FAILED (exit $status)"
    failed+=("$target")
    grep -E 'ERROR|SUMMARY|broken|==[0-9]+==' "$log" | head -20
    ls "$artifacts"
  fi
  echo "$line"
  summary+=("$line")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed: ${failed[*]} (logs under $build/logs, inputs under $build/artifacts)"
  exit 1
fi

#!/usr/bin/env bash
# Builds and runs every test: the optimised build (g++) with the checks of its output by nginx
# and the workflow parser and the resource faults, a clang build, the AddressSanitizer + UBSan
# build with the collector stressed at every safe point, and a minute of each fuzz target
# where clang's libFuzzer is present.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== g++, optimised: unit and golden tests"
cmake --preset default >/dev/null
cmake --build --preset default -j"$jobs"
ctest --test-dir build/default -LE stress --output-on-failure -j"$jobs"

echo "== random programs, with fast paths on and off: the same output, errors and status"
tests/random/run_both_ways.sh build/default/velune 300 1

echo "== the programs that read the files Velune writes: nginx and the workflow parser"
consumers=checked
tests/consumers/run_consumers.sh build/default/velune || {
  status=$?
  [ "$status" -eq 77 ] || exit "$status"
  consumers=skipped
}

echo "== clang++: build and golden tests"
cmake --preset clang >/dev/null
cmake --build --preset clang -j"$jobs"
ctest --test-dir build/clang -L normal --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UBSan, VELUNE_GC_STRESS: unit and golden tests"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build/sanitize -LE "normal|plain" --output-on-failure -j"$jobs"

echo "== libFuzzer with AddressSanitizer + UBSan: a minute of each target"
fuzzing=ran
VELUNE_JOBS="$jobs" fuzz/run.sh "${VELUNE_FUZZ_SECONDS:-60}" || {
  status=$?
  [ "$status" -eq 77 ] || exit "$status"
  fuzzing=skipped
}

skipped=()
[ "$consumers" = skipped ] && skipped+=("some consumer checks (nginx, openssl or the Node packages missing)")
[ "$fuzzing" = skipped ] && skipped+=("the fuzz smoke (clang's libFuzzer missing)")
if [ ${#skipped[@]} -gt 0 ]; then
  echo "== all tests passed, but these were SKIPPED: $(IFS=';'; echo "${skipped[*]}")"
else
  echo "== all tests passed"
fi

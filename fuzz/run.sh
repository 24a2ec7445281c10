#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes each target for SECONDS (default 60), one job each, from
# the seeds (golden programs, examples) and the regression corpus; the corpus grows in
# build/fuzz/corpus/TARGET. A finding is saved as build/fuzz/findings/TARGET/crash-* (or
# timeout-*, oom-*) and the script fails; copy it into fuzz/regression/TARGET once fixed.
# Exits 77 when clang's fuzzer runtime is missing. VELUNE_FUZZ_FLAGS adds libFuzzer flags: for
# a long run, "-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1" keeps going past
# findings.
#   fuzz/run.sh [SECONDS] [TARGET...]     TARGET: program, reader (default both)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true
targets=("${@:-program}")
[ $# -gt 0 ] || targets=(program reader)

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' > "$probe/p.cpp"
if ! command -v clang++ > /dev/null ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" > /dev/null 2>&1; then
  echo "fuzzing skipped: clang++ with libFuzzer (-fsanitize=fuzzer) is not available"
  exit 77
fi

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j"${VELUNE_JOBS:-2}" --target "${targets[@]/#/fuzz_}"

for target in "${targets[@]}"; do
  corpus=$root/build/fuzz/corpus/$target
  findings=$root/build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  seeds=$(mktemp -d)
  find tests/golden examples -name '*.lisp' -type f | while read -r f; do cp "$f" "$seeds/$(echo "$f" | tr / _)"; done
  echo "== fuzzing $target for $seconds s"
  # A finding's file goes to $findings; -timeout counts seconds per input. The program
  # target ends every run by its own step and memory limits, so a timeout is a hang.
  build/fuzz/fuzz_$target ${VELUNE_FUZZ_FLAGS:-} -max_total_time="$seconds" -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 \
    -dict="$root/fuzz/velune.dict" -artifact_prefix="$findings/" "$corpus" "$seeds" "$root/fuzz/regression/$target" \
    > "build/fuzz/$target.log" 2>&1 || { rm -rf "$seeds"; tail -n 60 "build/fuzz/$target.log"; exit 1; }
  rm -rf "$seeds"
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|DONE' "build/fuzz/$target.log" | tail -n 3 | sed 's/^/   /'
  if ls "$findings" | grep -q .; then echo "findings in $findings:"; ls "$findings"; exit 1; fi
done
echo "== fuzzing found nothing"

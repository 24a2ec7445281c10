#!/usr/bin/env bash
# Times velune (Release build) on the programs in bench/programs and prints the figures:
# wall-clock seconds and peak memory of each run, best of three.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" >/dev/null
velune=build/release/velune

timing=$(mktemp)
trap 'rm -f "$timing"' EXIT

printf '%-20s %10s %12s\n' program seconds "peak MiB"
for program in bench/programs/*.lisp; do
  best=""
  best_kib=0
  for _ in 1 2 3; do
    # Some programs end in an error on purpose (deep_trace times the report).
    /usr/bin/time -o "$timing" -f '%e %M' "$velune" "$program" >/dev/null 2>&1 || true
    out=$(tail -n 1 "$timing")
    seconds=${out% *}
    kib=${out#* }
    if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$seconds
      best_kib=$kib
    fi
  done
  printf '%-20s %10s %12s\n' "$(basename "$program" .lisp)" "$best" "$((best_kib / 1024))"
done

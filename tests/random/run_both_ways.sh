#!/usr/bin/env bash
# Runs random programs with fast paths on and off and fails on the first difference in
# standard output, standard error or exit status.
# usage: run_both_ways.sh VELUNE [COUNT] [SEED]
set -u
velune=$1
count=${2:-200}
seed=${3:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$(dirname "$0")/generate.py" "$seed" "$count" "$work/programs" || exit 1
differ=0
for program in "$work"/programs/*.lisp; do
  name=$(basename "$program" .lisp)
  for mode in on off; do
    mkdir -p "$work/$mode"
    (cd "$work/$mode" && VELUNE_FAST_PATHS=$mode "$velune" "$program" > "$name.out" 2> "$name.err"; echo $? > "$name.status")
  done
  for part in out err status; do
    if ! cmp -s "$work/on/$name.$part" "$work/off/$name.$part"; then
      echo "fast paths change the $part of this program (seed $seed):"
      cat "$program"
      diff "$work/on/$name.$part" "$work/off/$name.$part" | head -20
      differ=1
      break
    fi
  done
  [ $differ -eq 0 ] || break
done
[ $differ -eq 0 ] && echo "random programs: $count agree with fast paths on and off"
[ $differ -eq 0 ]

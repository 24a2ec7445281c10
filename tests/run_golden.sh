#!/usr/bin/env bash
# Runs one golden program in a fresh working directory and compares its standard output
# (whole, or its last lines) and its exit status with the expected ones, and its standard
# error where NAME.err gives it.
# usage: run_golden.sh VELUNE PROGRAM.lisp
set -u
velune=$1
program=$2
base=${program%.lisp}
name=$(basename "$base")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -d "$base.dir" ]; then cp -R "$base.dir/." "$work/"; fi
cp "$program" "$work/$name.lisp"

expected_status=0
if [ -f "$base.status" ]; then expected_status=$(tr -d ' \n' < "$base.status"); fi

(cd "$work" && "$velune" "$name.lisp" > "$work/.stdout" 2> "$work/.stderr")
status=$?

ok=1
case "$expected_status" in
  fail) if [ "$status" -eq 0 ] || [ "$status" -eq 1 ] || [ "$status" -ge 128 ]; then ok=0; fi ;;
  *) if [ "$status" -ne "$expected_status" ]; then ok=0; fi ;;
esac
if [ $ok -eq 0 ]; then
  echo "exit status $status, expected $expected_status"
  echo "--- stderr:"; cat "$work/.stderr"
fi

if [ -f "$base.out" ]; then
  if ! cmp -s "$base.out" "$work/.stdout"; then
    echo "standard output differs from $base.out:"
    diff "$base.out" "$work/.stdout" | head -40
    ok=0
  fi
elif [ -f "$base.tail" ]; then
  lines=$(wc -l < "$base.tail")
  if ! tail -n "$lines" "$work/.stdout" | cmp -s "$base.tail" -; then
    echo "last $lines lines of standard output differ from $base.tail:"
    tail -n "$lines" "$work/.stdout" | diff "$base.tail" - | head -40
    ok=0
  fi
else
  echo "no $base.out or $base.tail"
  ok=0
fi

# The diagnostics, compared only where they are the point of the test.
if [ -f "$base.err" ] && ! cmp -s "$base.err" "$work/.stderr"; then
  echo "standard error differs from $base.err:"
  diff "$base.err" "$work/.stderr" | head -40
  ok=0
fi

# A file the program was expected to write: NAME.expect/<file> compared byte for byte.
if [ -d "$base.expect" ]; then
  for f in "$base.expect"/*; do
    rel=$(basename "$f")
    if ! cmp -s "$f" "$work/$rel"; then
      echo "file $rel differs from the expected one"
      ok=0
    fi
  done
fi

[ $ok -eq 1 ]

#!/usr/bin/env bash
# Resource faults end in order: a clear message, a failure status, never a signal, and a
# configuration file that write-file was replacing keeps its old content whole with no
# temporary file left beside it.
# usage: faults.sh VELUNE CLASS   (CLASS: memory nesting disk file-size descriptors
#                                  not-a-file output garbage); exit 77: cannot be set up here
set -u
velune=$(realpath "$1")
class=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'cd /; rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL ($class): $*"
  failures=$((failures + 1))
}

# run NAME COMMAND...: runs a shell command line, keeps its status, stdout and stderr.
run() {
  name=$1
  shift
  bash -c "$*" > "$name.stdout" 2> "$name.stderr"
  status=$?
}

expect_status() {
  if [ "$status" -ne "$2" ]; then fail "$1: exit status $status, expected $2; stderr: $(head -c 400 "$1.stderr")"; fi
  if [ "$status" -ge 128 ]; then fail "$1: ended by signal $((status - 128))"; fi
}

expect_stderr() {
  grep -qF -- "$2" "$1.stderr" || fail "$1: standard error lacks \"$2\": $(head -c 400 "$1.stderr")"
}

expect_stdout() {
  grep -qF -- "$2" "$1.stdout" || fail "$1: standard output lacks \"$2\": $(tail -c 400 "$1.stdout")"
}

# A configuration written before the fault; it must come out of every fault unchanged.
old_config() {
  printf 'server {\n    listen 80;\n}\n' > "${1:-site.conf}"
}

expect_intact() {
  local dir=${1:-.}
  if ! printf 'server {\n    listen 80;\n}\n' | cmp -s - "$dir/site.conf"; then
    fail "site.conf in $dir lost its old content: $(head -c 200 "$dir/site.conf")"
  fi
  if ls -A "$dir" | grep -q '^\.velune-'; then fail "a temporary file was left in $dir: $(ls -A "$dir")"; fi
}

# A program that replaces site.conf with text of 2^N bytes.
big_write() {
  cat > "$1" <<LISP
(def (double s n) (if (= n 0) s (double (+ s s) (- n 1))))
(write-file "${3:-site.conf}" (double "0123456789abcdef" $2))
(print "not reached")
LISP
}

case "$class" in
memory)
  # Text doubling until memory runs out, while computing a write-file's content.
  old_config
  big_write grow.lisp 60
  run grow "ulimit -v 400000; '$velune' grow.lisp"
  expect_status grow 3
  expect_stderr grow "internal error: out of memory"
  expect_intact
  # Values without end: a list that only grows.
  cat > cells.lisp <<'LISP'
(def (grow l) (grow (cons l l)))
(write-file "site.conf" (to-string (grow nil)))
LISP
  run cells "ulimit -v 400000; '$velune' cells.lisp"
  expect_status cells 3
  expect_stderr cells "out of memory"
  expect_intact
  # Without any limit the process takes the machine's memory as its data limit, so text that
  # doubles without end fails an allocation rather than meeting the kernel's out-of-memory
  # killer. (Checked on the limit itself: reaching it would take the machine's memory.)
  printf '(for i (range 1000000000) i)\n' > long.lisp
  data_limit() {
    "$velune" long.lisp &
    local pid=$!
    sleep 0.3
    awk '/^Max data size/ {print $4}' "/proc/$pid/limits"
    kill "$pid"
    wait "$pid" 2> /dev/null
  }
  limit=$(ulimit -d unlimited 2> /dev/null; data_limit)
  [ "$limit" = $(($(getconf _PHYS_PAGES) * $(getconf PAGESIZE))) ] || [ -r /sys/fs/cgroup/memory.max ] ||
    fail "data limit without one given: $limit"
  [ "$limit" != unlimited ] || fail "no data limit was set"
  limit=$(ulimit -d 3000000; data_limit)
  [ "$limit" = $((3000000 * 1024)) ] || fail "a given data limit was changed: $limit"
  ;;
nesting)
  # A recursion without end fills the frame stack until the memory limit.
  old_config
  cat > recursion.lisp <<'LISP'
(def (deeper n) (+ 1 (deeper (+ n 1))))
(write-file "site.conf" (to-string (deeper 0)))
LISP
  run recursion "ulimit -v 600000; '$velune' recursion.lisp"
  expect_status recursion 3
  expect_stderr recursion "recursion.lisp:2: internal error: out of memory"
  expect_intact
  # Expressions nested deeper than the reader can go.
  { printf '(write-file "site.conf" '; head -c 300000 /dev/zero | tr '\0' '('; } > parens.lisp
  run parens "'$velune' parens.lisp"
  expect_status parens 2
  expect_stdout parens "Expressions nested too deeply to read"
  expect_intact
  # Nested runs without end: a to-string method that prints its own value.
  cat > runs.lisp <<'LISP'
(defclass loop () x)
(defmethod (to-string (l loop)) (print l))
(write-file "site.conf" (to-string (make-loop 1)))
LISP
  run runs "'$velune' runs.lisp"
  expect_status runs 3
  expect_stderr runs "the host stack is exhausted"
  expect_intact
  # A small host stack: a soft limit is raised, a hard one too small is refused, and one just
  # large enough still stops runaway nested runs in order.
  run soft-stack "ulimit -Ss 64; '$velune' runs.lisp"
  expect_status soft-stack 3
  expect_stderr soft-stack "the host stack is exhausted"
  run small-stack "ulimit -s 512; '$velune' runs.lisp"
  expect_status small-stack 3
  expect_stderr small-stack "the stack limit of 512 KiB is too small to run a program"
  run tight-stack "ulimit -s 1100; '$velune' runs.lisp"
  expect_status tight-stack 3
  expect_stderr tight-stack "the host stack is exhausted"
  expect_intact
  # Dictionaries nested past the printer's limit.
  cat > dicts.lisp <<'LISP'
(def (nest d n) (if (= n 0) d (let e (dict) (set-key e "k" d) (nest e (- n 1)))))
(write-file "site.conf" (repr (nest (dict) 5000)))
LISP
  run dicts "'$velune' dicts.lisp"
  expect_status dicts 3
  expect_stderr dicts "cannot print a structure nested this deeply"
  expect_intact
  ;;
disk)
  # A file system with 64 KiB of room (the reports go outside it); needs root to mount it in a namespace of its own.
  if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2> /dev/null; then
    echo "skipped: mounting a small file system needs root and unshare"
    exit 77
  fi
  mkdir small
  old_config small/site.conf
  big_write full.lisp 14  # 256 KiB
  cat > append.lisp <<'LISP'
(def (double s n) (if (= n 0) s (double (+ s s) (- n 1))))
(append-file "site.conf" (double "0123456789abcdef" 14))
LISP
  cat > fill.lisp <<'LISP'
(def (double s n) (if (= n 0) s (double (+ s s) (- n 1))))
(write-file "filler" (double "0123456789abcdef" 11))
(write-file "site.conf" (double "0123456789abcdef" 11))
LISP
  cat > disk.sh <<SH
mount -t tmpfs -o size=64k tmpfs small || exit 1
cp full.lisp append.lisp fill.lisp small/
cd small
old() { printf 'server {\n    listen 80;\n}\n' > site.conf; }
old
"$velune" full.lisp > ../full.stdout 2> ../full.stderr; echo \$? > ../full.status
cp site.conf ../site.after-full
"$velune" append.lisp > ../append.stdout 2> ../append.stderr; echo \$? > ../append.status
cp site.conf ../site.after-append
"$velune" fill.lisp > ../fill.stdout 2> ../fill.stderr; echo \$? > ../fill.status
rm filler
ln site.conf other-name
"$velune" full.lisp > ../linked.stdout 2> ../linked.stderr; echo \$? > ../linked.status
cmp -s site.conf other-name && echo same > ../linked.names
ls -A > ../listing
cp site.conf ../result/
SH
  mkdir result
  run disk "unshare -m bash disk.sh"
  if [ ! -f fill.status ]; then
    fail "the small file system could not be used: $(cat disk.stderr)"
  else
    for step in full append fill linked; do
      status=$(cat "$step.status")
      expect_status "$step" 1
      expect_stderr "$step" "No space left on device"
    done
    for after in after-full after-append; do
      mkdir "$after" && cp "site.$after" "$after/site.conf" && expect_intact "$after"
    done
    expect_intact result
    [ -f linked.names ] || fail "linked: the second name differs from site.conf"
    grep -q '^\.velune-' listing && fail "temporary files left on the full disk: $(cat listing)"
  fi
  # /dev/full as the file written
  printf '(write-file "/dev/full" "listen 80;")\n' > devfull.lisp
  run devfull "'$velune' devfull.lisp"
  expect_status devfull 1
  expect_stderr devfull "(write-file): cannot write /dev/full: No space left on device"
  ;;
file-size)
  # 100 blocks of 512 bytes; SIGXFSZ must not end the process.
  old_config
  big_write big.lisp 16  # 1 MiB
  run big "ulimit -f 100; '$velune' big.lisp"
  expect_status big 1
  expect_stderr big "(write-file): cannot write site.conf: File too large"
  expect_intact
  # A file with a second name is written in place: its old bytes are put back.
  mkdir linked
  old_config linked/site.conf
  ln linked/site.conf linked/other-name
  big_write linked.lisp 16 linked/site.conf
  run linked "ulimit -f 100; '$velune' linked.lisp"
  expect_status linked 1
  expect_stderr linked "(write-file): cannot write linked/site.conf: File too large"
  expect_intact linked
  cmp -s linked/site.conf linked/other-name || fail "linked: the second name differs"
  printf '(def (double s n) (if (= n 0) s (double (+ s s) (- n 1))))\n(append-file "site.conf" (double "0123456789abcdef" 16))\n' > append.lisp
  run append "ulimit -f 100; '$velune' append.lisp"
  expect_status append 1
  expect_stderr append "(append-file): cannot write site.conf: File too large"
  expect_intact
  # Standard output into a file that reaches the limit.
  printf '(def (double s n) (if (= n 0) s (double (+ s s) (- n 1))))\n(print (double "0123456789abcdef" 16))\n(write-file "site.conf" "half")\n' > print.lisp
  run print "ulimit -f 100; '$velune' print.lisp > printed.txt"
  expect_status print 5
  expect_stderr print "cannot write to standard output: File too large"
  expect_intact
  ;;
descriptors)
  # Every file native, succeeding and failing, 200 times over with 64 descriptors: one left
  # open per call would run out after a few passes.
  old_config
  mkdir sub
  printf '(define loaded (+ loaded 1))\n' > sub/part.lisp
  printf '(define loaded 0)\n' > count.lisp
  cat > churn.lisp <<'LISP'
(load "count.lisp")
(for i (range 200)
  (write-file "out.txt" (to-string i))
  (append-file "log.txt" (read-file "out.txt"))
  (load "sub/part.lisp"))
(print (list loaded (length (read-file "log.txt"))))
LISP
  run churn "ulimit -n 64; '$velune' churn.lisp"
  expect_status churn 0
  expect_stdout churn "(200 490)"
  # Failing calls, each its own run (an error ends the run) under the same limit.
  for call in '(read-file "missing")' '(read-file "sub")' '(write-file "sub" "x")' '(write-file "no/such/dir" "x")' \
              '(append-file "sub" "x")' '(load "missing.lisp")' '(load "sub")'; do
    printf '(for i (range 100) (write-file "site.tmp" "x") (read-file "site.conf"))\n%s\n' "$call" > failing.lisp
    run failing "ulimit -n 64; '$velune' failing.lisp"
    [ "$status" -eq 1 ] || [ "$status" -eq 3 ] || fail "$call: exit status $status"
    grep -q "Too many open files" failing.stdout failing.stderr && fail "$call: descriptors ran out"
  done
  expect_intact
  # Every descriptor taken before the start: the program file cannot be opened.
  if command -v python3 > /dev/null; then
    printf '(write-file "site.conf" "replaced")\n' > replace.lisp
    run full "ulimit -n 16; python3 -c 'import os, sys
while True:
    fd = os.dup(0)
    os.set_inheritable(fd, True)
    if fd == 15: break
os.execv(sys.argv[1], sys.argv[1:])' '$velune' replace.lisp"
    expect_status full 4
    expect_stderr full "cannot read replace.lisp: Too many open files"
    expect_intact
  fi
  ;;
not-a-file)
  old_config
  mkdir directory
  printf 'secret\n' > unreadable
  chmod 000 unreadable
  check() {  # NAME STATUS MESSAGE PROGRAM
    printf '%s\n' "$4" > "$1.lisp"
    run "$1" "'$velune' $1.lisp"
    expect_status "$1" "$2"
    expect_stderr "$1" "$3"
  }
  check read-dir 1 "(read-file): cannot open directory: Is a directory" '(read-file "directory")'
  check write-dir 1 "(write-file): cannot open directory: Is a directory" '(write-file "directory" "x")'
  check append-dir 1 "(append-file): cannot open directory: Is a directory" '(append-file "directory" "x")'
  check load-dir 3 "load: cannot open directory: Is a directory" '(load "directory")'
  run program-dir "'$velune' directory"
  expect_status program-dir 4
  expect_stderr program-dir "cannot read directory: Is a directory"
  [ -d directory ] && [ -z "$(ls -A directory)" ] || fail "the directory was changed"
  # Unreadable and unwritable files, as a user the permissions apply to.
  if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
    chmod 755 "$work"
    chmod 644 site.conf
    printf '(read-file "unreadable")\n' > read-unreadable.lisp
    run read-unreadable "$as_user '$velune' read-unreadable.lisp"
    expect_status read-unreadable 1
    expect_stderr read-unreadable "(read-file): cannot open unreadable: Permission denied"
    run program-unreadable "$as_user '$velune' unreadable"
    expect_status program-unreadable 4
    expect_stderr program-unreadable "cannot read unreadable: Permission denied"
    printf '(write-file "site.conf" "replaced")\n' > write-unwritable.lisp
    run write-unwritable "$as_user '$velune' write-unwritable.lisp"
    expect_status write-unwritable 1
    expect_stderr write-unwritable "(write-file): cannot open site.conf: Permission denied"
    expect_intact
  elif [ "$(id -u)" -ne 0 ]; then
    printf '(read-file "unreadable")\n' > read-unreadable.lisp
    run read-unreadable "'$velune' read-unreadable.lisp"
    expect_status read-unreadable 1
    expect_stderr read-unreadable "Permission denied"
  fi
  expect_intact
  ;;
output)
  old_config
  printf '(print "listen 80;")\n(write-file "site.conf" "replaced")\n' > first.lisp
  run closed "'$velune' first.lisp >&-"
  expect_status closed 5
  expect_stderr closed "cannot write to standard output: Bad file descriptor"
  expect_intact
  run full "'$velune' first.lisp > /dev/full"
  expect_status full 5
  expect_stderr full "cannot write to standard output: No space left on device"
  expect_intact
  # A reader that goes away: no SIGPIPE death.
  printf '(for i (range 100000) (print "a line of output"))\n(write-file "site.conf" "replaced")\n' > many.lisp
  run pipe "'$velune' many.lisp | head -c 10 > /dev/null; exit \${PIPESTATUS[0]}"
  expect_status pipe 5
  expect_stderr pipe "cannot write to standard output: Broken pipe"
  expect_intact
  # Files written while standard output is closed get their own content only.
  printf '(write-file "new.conf" "listen 80;")\n(append-file "new.conf" " # end")\n(print "hello")\n' > closed-write.lisp
  run closed-write "'$velune' closed-write.lisp >&- 2>&-"
  expect_status closed-write 5
  [ "$(cat new.conf 2> /dev/null)" = "listen 80; # end" ] || fail "closed-write: new.conf holds $(cat new.conf)"
  # An error report on a closed standard output is still an output failure.
  printf '(car 1)\n' > error.lisp
  run error "'$velune' error.lisp >&-"
  expect_status error 5
  ;;
garbage)
  # Two million passes of garbage in well under 200 MiB of address space (so under 200 MiB
  # resident): the collector's threshold follows what is live.
  run garbage "ulimit -v 204800; '$velune' '$here/garbage.lisp'"
  expect_status garbage 0
  printf '6000000\n20\n' | cmp -s - garbage.stdout || fail "garbage: output $(cat garbage.stdout)"
  # A loop written as tail recursion, through an if and a let, keeps its trace lines in
  # constant room: five million turns fit the same limit.
  printf '(define loop (fn (i acc) (if (= i 0) acc (let j (- i 1) (loop j (+ acc 1))))))\n(print (loop 5000000 0))\n' > tail-loop.lisp
  run tail-loop "ulimit -v 204800; '$velune' tail-loop.lisp"
  expect_status tail-loop 0
  [ "$(cat tail-loop.stdout)" = 5000000 ] || fail "tail-loop: output $(cat tail-loop.stdout)"
  ;;
*)
  echo "unknown fault class $class"
  exit 2
  ;;
esac

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "$class: every fault ended in order"

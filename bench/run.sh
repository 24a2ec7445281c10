#!/usr/bin/env bash
# Times velune (Release build) on every bench/programs/NAME.lisp beside its twins NAME.py
# (Python 3) and NAME.lua (Lua 5.4): whole-process median seconds of BENCH_RUNS runs (3 by
# default), Velune's time divided by each twin's, and each one's peak memory.
# A workload is three files with one base name; a missing twin leaves its column empty.
# Arguments name the workloads to run (bench/run.sh fib count); none runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-3}

cmake --preset release >/dev/null
cmake --build --preset release -j2 >/dev/null
velune=build/release/velune

# The interpreter itself, not a version manager's shim in front of it (which costs more than
# most of these programs).
python=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null || true)
lua=$(command -v lua5.4 || true)
if [ -z "$lua" ]; then
  echo "lua5.4 is missing: installing it (apt-get install -y lua5.4)"
  if [ "$(id -u)" -eq 0 ]; then
    apt-get install -y lua5.4 >/dev/null 2>&1 || true
  else
    sudo -n apt-get install -y lua5.4 >/dev/null 2>&1 || true
  fi
  lua=$(command -v lua5.4 || true)
  [ -n "$lua" ] || echo "note: lua5.4 could not be installed; the Lua columns are skipped"
fi

scratch=$(mktemp)
trap 'rm -f "$scratch"' EXIT

# measure COMMAND...: prints "median-seconds peak-MiB"; the seconds carry a "*" when a run
# ended with a failure status (some programs end in an error on purpose: deep_trace times
# the report).
measure() {
  local times=() peak=0 out mark=""
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    /usr/bin/time -o "$scratch" -f '%M' "$@" >/dev/null 2>&1 || mark="*"
    end=$(date +%s%N)
    times+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')")
    local kib
    kib=$(tail -n 1 "$scratch")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
  echo "$median$mark $((peak / 1024))"
}

# ratio A B: A / B with two decimals, "-" when either is not a number.
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || b == 0) { print "-"; exit }
    printf "%.2f\n", a / b }'
}

printf '%-16s %9s %7s | %9s %7s %8s | %9s %7s %8s\n' workload velune-s MiB python-s MiB v/py lua-s MiB v/lua
programs=(bench/programs/*.lisp)
if [ $# -gt 0 ]; then
  programs=()
  for name in "$@"; do programs+=("bench/programs/$name.lisp"); done
fi
for program in "${programs[@]}"; do
  base=${program%.lisp}
  read -r v_s v_mib < <(measure "$velune" "$program")
  p_s="" p_mib="" l_s="" l_mib=""
  if [ -n "$python" ] && [ -f "$base.py" ]; then read -r p_s p_mib < <(measure "$python" "$base.py"); fi
  if [ -n "$lua" ] && [ -f "$base.lua" ]; then read -r l_s l_mib < <(measure "$lua" "$base.lua"); fi
  printf '%-16s %9s %7s | %9s %7s %8s | %9s %7s %8s\n' "$(basename "$base")" "$v_s" "$v_mib" \
    "${p_s:--}" "${p_mib:--}" "$(ratio "$v_s" "${p_s:--}")" "${l_s:--}" "${l_mib:--}" "$(ratio "$v_s" "${l_s:--}")"
done
echo "* a run ended with a failure status (an error on purpose, or the twin's own limit)"
[ $# -eq 0 ] || exit 0

# Start-up, to the hundredth of a millisecond: many runs of an empty program, beside Lua's and
# a static C program that does nothing (the floor), taken in turns so that a change in the
# machine's load falls on all of them alike.
floor=build/release/floor
cc -O2 -static bench/floor.c -o "$floor" 2>/dev/null || cc -O2 bench/floor.c -o "$floor"
# run_one NAME: one run of that start-up command.
run_one() {
  case $1 in
    velune) "$velune" bench/programs/startup.lisp ;;
    floor) "$floor" ;;
    lua) "$lua" -e '' ;;
    python) "$python" bench/programs/startup.py ;;
  esac
}
# per_run_ms NAME...: mean milliseconds per run of each, in rounds of batches taken in turns.
per_run_ms() {
  local rounds=10 batch=20 i start end
  local -a total=()
  for ((i = 0; i < $#; i++)); do total[i]=0; done
  for _ in $(seq "$rounds"); do
    i=0
    for name in "$@"; do
      start=$(date +%s%N)
      for _ in $(seq "$batch"); do run_one "$name" >/dev/null 2>&1; done
      end=$(date +%s%N)
      total[i]=$((total[i] + end - start))
      i=$((i + 1))
    done
  done
  for ((i = 0; i < $#; i++)); do awk -v ns="${total[i]}" -v n=$((rounds * batch)) 'BEGIN { printf "%.2f\n", ns / n / 1e6 }'; done
}
starts=(velune floor)
labels=("velune, empty file" "static C, does nothing")
[ -n "$lua" ] && starts+=(lua) && labels+=("lua5.4 -e ''")
[ -n "$python" ] && starts+=(python) && labels+=("python3, empty file")
echo
echo "start-up, milliseconds per run (mean of 200, taken in turns):"
mapfile -t means < <(per_run_ms "${starts[@]}")
for ((i = 0; i < ${#labels[@]}; i++)); do printf '  %-28s %8s\n' "${labels[i]}" "${means[i]}"; done

# Cost linear in the output: ten times the servers should take about ten times as long.
big=$(mktemp --suffix=.lisp)
sed 's/(define count 300)/(define count 3000)/' bench/programs/nginx_servers.lisp > "$big"
read -r small_s _ < <(measure "$velune" bench/programs/nginx_servers.lisp)
read -r big_s big_mib < <(measure "$velune" "$big")
rm -f "$big"
echo
echo "nginx, 3000 servers against 300: ${big_s} s against ${small_s} s, $(ratio "$big_s" "$small_s")x (${big_mib} MiB)"

#!/usr/bin/env bash
# Hands every file Velune writes to the program that reads it: the files the examples (and the
# programs in this directory) write, and the golden tests' expected files. *.conf goes to
# `nginx -t`, *.yml and *.yaml to the workflow parser. A consumer that is not installed makes
# its files SKIPPED, never passed.
# usage: run_consumers.sh VELUNE      exit: 0 all checked and passed, 1 a failure, 77 some skipped
set -u
velune=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

passed=0 failed=0 skipped=0
confs=() workflows=() quoted=()
pass() { echo "ok    $1"; passed=$((passed + 1)); }
fail() { echo "FAIL  $1"; failed=$((failed + 1)); }

collect() {
  case "$1" in
    *.conf) confs+=("$1") ;;
    *.yml | *.yaml) workflows+=("$1") ;;
  esac
}

# Each program runs in an empty directory of its own; everything it leaves there is checked.
for program in "$top"/examples/*.lisp "$here"/*.lisp; do
  [ -f "$program" ] || continue
  out=out/$(basename "$(dirname "$program")")/$(basename "$program" .lisp)
  mkdir -p "$out"
  if ! (cd "$out" && "$velune" "$program" > "$work/output" 2>&1); then
    fail "run ${program#"$top"/}: $(tail -n 1 "$work/output")"
    continue
  fi
  while IFS= read -r f; do
    if [ -f "${program%.lisp}.json" ]; then quoted+=("${program%.lisp}.json" "$f"); else collect "$f"; fi
  done < <(find "$out" -type f | sort)
done
mkdir -p golden
while IFS= read -r f; do
  rel=${f#"$top"/tests/golden/}
  mkdir -p "golden/$(dirname "$rel")" && cp "$f" "golden/$rel" && collect "golden/$rel"
done < <(find "$top/tests/golden" -path '*.expect/*' -type f | sort)

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
if [ ${#confs[@]} -gt 0 ] && { [ ! -x "$nginx_bin" ] || ! command -v openssl > /dev/null; }; then
  echo "SKIPPED  ${#confs[@]} nginx checks: nginx or openssl is not installed"
  skipped=$((skipped + ${#confs[@]}))
  confs=()
fi
if [ ${#confs[@]} -gt 0 ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
    -keyout key.pem -out cert.pem 2> /dev/null
fi

# nginx -t on a main configuration around the file, with everything nginx writes or opens
# (pid, logs, temporary files, certificates) in a scratch prefix so it runs unprivileged.
check_nginx() {
  local file=$1 dir http_paths main
  dir=$(mktemp -d "$work/nginx.XXXX")
  http_paths="access_log $dir/access.log;"
  for t in client_body proxy fastcgi uwsgi scgi; do http_paths+=" ${t}_temp_path $dir/$t;"; done
  # Absolute log and certificate paths name places on a real server: they move under
  # $dir/root, the directives otherwise stay as generated.
  awk -v root="$dir/root" '
    $1 ~ /^(ssl_certificate|ssl_certificate_key|access_log|error_log)$/ && $2 ~ /^\// {
      i = index($0, $2); $0 = substr($0, 1, i - 1) root substr($0, i)
    }
    { print }' "$file" > "$dir/generated.conf"
  while read -r directive path _; do
    path=${path%;}
    case "$path" in /*) ;; *) path=$dir/$path ;; esac
    mkdir -p "$(dirname "$path")"
    case "$directive" in
      ssl_certificate) cp cert.pem "$path" ;;
      ssl_certificate_key) cp key.pem "$path" ;;
    esac
  done < <(grep -E '^\s*(ssl_certificate|ssl_certificate_key|access_log|error_log)\s' "$dir/generated.conf")

  main="pid $dir/nginx.pid; error_log $dir/error.log;"
  grep -qE '^user\s' "$dir/generated.conf" || main+=" $as_root"
  if grep -qE '^(http|events)\s*\{' "$dir/generated.conf"; then
    # A whole configuration: included at the top; its own http block gets the scratch paths.
    sed -i -E "s|^http\s*\{|& $http_paths|" "$dir/generated.conf"
    grep -qE '^events\s*\{' "$dir/generated.conf" || main+=" events {}"
    main+=" include $dir/generated.conf;"
  else
    main+=" events {} http { $http_paths include $dir/generated.conf; }"
  fi
  echo "$main" > "$dir/main.conf"
  # A warning fails too: nginx warns when it ignores part of a configuration.
  if "${private_network[@]}" "$nginx_bin" -t -p "$dir/" -e "$dir/error.log" -c "$dir/main.conf" > "$dir/result" 2>&1 &&
    ! grep -q '\[warn\]' "$dir/result"; then
    pass "nginx $file"
  else
    fail "nginx $file"
    sed "s|$dir/generated.conf|$file|g; s|$dir/root||g; s/^/      /" "$dir/result"
  fi
}
# nginx -t binds the listening sockets: in a network namespace of its own nothing on the
# machine is in the way, and with a user namespace ports below 1024 work unprivileged. There the
# user is root but nobody is unmapped, so nginx keeps its files as root ("user root").
private_network=(env) as_root=""
namespaces=-rn
[ "$(id -u)" -eq 0 ] && namespaces=-n
if unshare "$namespaces" true 2> /dev/null; then
  private_network=(unshare "$namespaces" sh -c 'ip link set lo up 2> /dev/null; exec "$@"' sh)
  [ "$namespaces" = -rn ] && as_root="user root;"
fi
for f in "${confs[@]}"; do check_nginx "$f"; done

to_check=$(( ${#workflows[@]} + ${#quoted[@]} / 2 ))
if [ "$to_check" -gt 0 ] && { ! command -v node > /dev/null || [ ! -d "$here/node_modules/@actions/workflow-parser" ]; }; then
  echo "SKIPPED  $to_check workflow checks: node or the packages of tests/consumers (npm ci) are missing"
  skipped=$((skipped + to_check))
elif [ "$to_check" -gt 0 ]; then
  # One line per file from the checker: count them as it reports them.
  tally() { while IFS= read -r line; do
    echo "$line"
    case "$line" in "ok "*) passed=$((passed + 1)) ;; "FAIL "*) failed=$((failed + 1)) ;; esac
  done; }
  # A checker that dies before reporting on each of its files fails the missing ones.
  check_workflows() {
    local files=$# before=$((passed + failed))
    [ "$1" = --expect ] && files=$(($# - 2))
    tally < <(node "$here/check_workflows.mjs" "$@" 2>&1)
    while [ $((passed + failed - before)) -lt "$files" ]; do fail "workflow checker gave no verdict"; done
  }
  if [ ${#workflows[@]} -gt 0 ]; then check_workflows "${workflows[@]}"; fi
  for ((i = 0; i < ${#quoted[@]}; i += 2)); do check_workflows --expect "${quoted[i]}" "${quoted[i + 1]}"; done
fi

summary="consumers: $passed passed, $failed failed"
[ "$skipped" -gt 0 ] && summary+=", $skipped skipped"
echo "$summary"
if [ "$failed" -gt 0 ]; then exit 1; fi
if [ "$skipped" -gt 0 ]; then exit 77; fi
exit 0

# lib.sh: what the tool's shell tests share. Sourced with the tool as $tool:
# runs it as a user would and checks outputs, exit statuses and the one-line
# messages; ends with the count through finish.
failures=0
passes=0
out=""
err=""
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run STDIN ARGS...: runs the tool, keeping stdout, stderr and the status.
run() {
  local input=$1; shift
  out=$(printf '%s' "$input" | "$tool" "$@" 2>"$work/err")
  status=$?
  err=$(cat "$work/err")
}

# With DESSEC_CHECK_LOG, each check's outcome also goes to the log of its
# group (groups.py), found by the line of the script's statement that made it.
check_groups=()
[ -z "${DESSEC_CHECK_LOG:-}" ] || mapfile -t check_groups < <(python3 "$(dirname "${BASH_SOURCE[0]}")/groups.py" lines "$0")
log_check() {  # log_check ok|FAIL TEXT
  local line=${BASH_LINENO[${#BASH_LINENO[@]} - 2]} group=${check_groups[0]#* } mark
  for mark in "${check_groups[@]}"; do
    [ "${mark%% *}" -le "$line" ] && group=${mark#* }
  done
  printf '%s: %s\n' "$1" "$2" >>"$DESSEC_CHECK_LOG/$group.log"
}

check() {  # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then
    passes=$((passes + 1))
    [ -z "${DESSEC_CHECK_LOG:-}" ] || log_check ok "$what"
  else
    failures=$((failures + 1))
    echo "FAIL: $what (status $status)"
    echo "  stdout: $out"
    echo "  stderr: $err"
    [ -z "${DESSEC_CHECK_LOG:-}" ] || log_check FAIL "$what (status $status)"$'\n'"  stdout: $out"$'\n'"  stderr: $err"
  fi
}

matches() { [[ $1 =~ $2 ]]; }
one_line() { [ -n "$1" ] && [ "$(printf '%s\n' "$1" | wc -l)" -eq 1 ]; }
errors() { grep -v '^dessec: warning: ' <<<"$err"; }

# refused STATUS PATTERN STDIN ARGS...: the given status, nothing on stdout
# and one line on stderr that names the fault.
refused() {
  local want=$1 pattern=$2 input=$3; shift 3
  run "$input" "$@"
  check "status $want for: $*" [ "$status" -eq "$want" ]
  check "nothing on stdout for: $*" [ -z "$out" ]
  check "one-line error for: $*" one_line "$(errors)"
  check "error names the fault for: $* (want /$pattern/)" matches "$(errors)" "$pattern"
}
misuse() { local pattern=$1; shift; refused 2 "$pattern" "secret" "$@"; }

# run_from FILE ARGS...: as run, with FILE on standard input.
run_from() {
  local input=$1; shift
  out=$("$tool" "$@" <"$input" 2>"$work/err")
  status=$?
  err=$(cat "$work/err")
}

# OpenSSL 3 keeps DES in its legacy provider.
ossl() { openssl enc "$@" -provider legacy -provider default; }

# Fixed bytes, so that a wrong key's last block is never good padding by chance.
fixed_bytes() { head -c "$1" /dev/zero | openssl enc -aes-128-ctr -K 000102030405060708090a0b0c0d0e0f -iv 00000000000000000000000000000000; }

finish() {
  echo "$passes passed, $failures failed"
  [ -z "${DESSEC_CHECK_LOG:-}" ] || touch "$DESSEC_CHECK_LOG/finished"
  [ "$failures" -eq 0 ]
}

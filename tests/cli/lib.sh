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

check() {  # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAIL: $what (status $status)"
    echo "  stdout: $out"
    echo "  stderr: $err"
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
  [ "$failures" -eq 0 ]
}

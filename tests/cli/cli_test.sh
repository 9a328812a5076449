#!/usr/bin/env bash
# cli_test.sh DESSEC: runs the tool as a user would and checks outputs,
# exit statuses and the one-line error messages of misuse.
set -uo pipefail
tool=$1
failures=0
passes=0
out=""
err=""
status=0

# run STDIN ARGS...: runs the tool, keeping stdout, stderr and the status.
run() {
  local input=$1; shift
  local errfile
  errfile=$(mktemp)
  out=$(printf '%s' "$input" | "$tool" "$@" 2>"$errfile")
  status=$?
  err=$(cat "$errfile")
  rm -f "$errfile"
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

# misuse ARGS...: a usage error gives status 2 and one line on stderr naming it.
misuse() {
  local pattern=$1; shift
  run "secret" "$@"
  check "misuse: $*" [ "$status" -eq 2 ]
  check "one-line error for: $*" one_line "$err"
  check "error names the fault for: $* (want /$pattern/)" matches "$err" "$pattern"
}

# Version and help
run "" --version;            check "--version" matches "$out" '^dessec [0-9]+\.[0-9]+\.[0-9]+$'
run "" --help;               check "--help" matches "$out" 'commands:'
for c in keygen agree seal open encrypt-hex decrypt-hex hash verify des; do
  run "" "$c" --help
  check "$c --help" [ "$status" -eq 0 ]
  check "$c --help text" matches "$out" "usage: dessec $c"
done

# Key pairs and agreement
run "" keygen
check "keygen" matches "$out" $'^secret: [0-9a-f]{48}\npublic: ([0-9a-f]{2}){1,24}$'
secret_a=$(sed -n 's/^secret: //p' <<<"$out"); public_a=$(sed -n 's/^public: //p' <<<"$out")
run "" keygen --json
check "keygen --json" matches "$out" '^\{"secret": "[0-9a-f]{48}", "public": "[0-9a-f]+"\}$'
secret_b=$(sed -E 's/.*"secret": "([0-9a-f]+)".*/\1/' <<<"$out")
public_b=$(sed -E 's/.*"public": "([0-9a-f]+)".*/\1/' <<<"$out")
run "" agree --secret "$secret_a" --public "$public_b"; common_ab=$out
run "" agree --secret "$secret_b" --public "$public_a"
check "both sides agree" [ -n "$common_ab" -a "$out" = "$common_ab" ]
check "common key in lower case" matches "$out" '^[0-9a-f]+$'

# Secret-key records
run "pass word" seal --stdin "$secret_a"; record=$out
check "seal" matches "$record" '^[0-9a-f]{64}$'
run "pass word" open --stdin "$record"
check "open with the right password" [ "$status" -eq 0 -a "$out" = "$secret_a" ]
run "wrong" open --stdin "$record"
check "open with a wrong password fails" [ "$status" -eq 1 ]
check "one-line error on a wrong password" one_line "$err"
run "" seal --password "pw" "$secret_a"
check "password on the command line works" [ "$status" -eq 0 ]
check "and warns" matches "$err" 'warning'

# Hex texts
run "pw" encrypt-hex --stdin 00112233445566778899AABBCCDDEEFF; cipher=$out
run "pw" decrypt-hex --stdin "$cipher"
check "encrypt-hex round trip (lower case back)" [ "$out" = 00112233445566778899aabbccddeeff ]

# Password hashes, both DES-based forms
run "secret" hash --stdin --salt ab
check "traditional hash" matches "$out" '^ab[./0-9A-Za-z]{11}$'
traditional=$out
run "secret" verify --stdin "$traditional"
check "verify traditional" [ "$status" -eq 0 -a "$out" = match ]
run "secreT" verify --stdin "$traditional"
check "mismatch exits 1" [ "$status" -eq 1 -a "$out" = mismatch ]
run "secret" hash --stdin --rounds 725 --salt CCCC
check "extended hash" matches "$out" '^_J9\.\.CCCC[./0-9A-Za-z]{11}$'
run "secret" verify --stdin "$out"
check "verify extended" [ "$status" -eq 0 ]
run "secret" hash --stdin --rounds 5
check "extended hash with a random salt" matches "$out" '^_3\.\.\.[./0-9A-Za-z]{15}$'
run "secret" hash --stdin
check "traditional hash with a random salt" matches "$out" '^[./0-9A-Za-z]{13}$'

# DES on hex data: FIPS 81 examples, and a long message in chained requests
plain=4e6f77206973207468652074696d6520666f7220616c6c20
run "" des ecb --encrypt --key 0123456789abcdef "$plain"
check "des ecb" [ "$out" = 3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53 ]
run "" des cbc --encrypt --key 0123456789abcdef --iv 1234567890abcdef "$plain"
check "des cbc" [ "$out" = e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6 ]
run "$out" des cbc --decrypt --key 0123456789abcdef --iv 1234567890abcdef
check "des cbc decrypt from stdin" [ "$out" = "$plain" ]
long=$(head -c 20000 /dev/zero | tr '\0' 'a' | od -An -v -tx1 | tr -d ' \n')
run "$long" des cbc --encrypt --key 0123456789abcdef --iv 1234567890abcdef
expected=$(printf '%s' "$long" | xxd -r -p | openssl enc -des-cbc -K 0123456789abcdef -iv 1234567890abcdef \
  -nopad -provider legacy -provider default | od -An -v -tx1 | tr -d ' \n')
check "20000 bytes in chained requests equal one CBC pass" [ -n "$expected" -a "$out" = "$expected" ]

# Misuse: status 2 and one clear line
misuse 'missing command' 
misuse 'unknown command' frobnicate
misuse 'unknown option' keygen --bogus
misuse 'needs a value' hash --salt
misuse '48 hex digits' agree --secret 1234 --public 03
misuse 'not a hex digit' agree --secret "${secret_a:0:47}x" --public 03
misuse 'odd number' agree --secret "$secret_a" --public 123
misuse 'required' agree --secret "$secret_a"
misuse '48 hex digits' seal --stdin abcd
misuse '64 hex digits' open --stdin "${record:0:62}"
misuse 'multiple of 16' encrypt-hex --stdin 001122334455667788
misuse 'odd number' encrypt-hex --stdin 001122334455667
misuse 'not a hex digit' decrypt-hex --stdin 00112233445566zz
misuse '--rounds' hash --stdin --rounds 0
misuse '--rounds' hash --stdin --rounds 16777216
misuse '--rounds' hash --stdin --rounds ten
misuse '4 characters' hash --stdin --rounds 10 --salt ab
misuse '2 characters' hash --stdin --salt abc
misuse 'not one of' hash --stdin --salt 'a!'
misuse 'missing argument' verify --stdin
misuse 'ecb or cbc' des xts --encrypt --key 0123456789abcdef 00
misuse 'exactly one' des ecb --key 0123456789abcdef 0011223344556677
misuse '16 hex digits' des ecb --encrypt --key 0123 0011223344556677
misuse 'cbc only' des ecb --encrypt --key 0123456789abcdef --iv 0000000000000000 0011223344556677
misuse 'whole number' des ecb --encrypt --key 0123456789abcdef 00112233
misuse 'either' verify --stdin --password x "$traditional"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]

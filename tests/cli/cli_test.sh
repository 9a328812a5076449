#!/usr/bin/env bash
# cli_test.sh DESSEC: runs the tool as a user would and checks outputs,
# exit statuses and the one-line messages, grouped by behaviour.
set -uo pipefail
tool=$1
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"

key=0123456789abcdef
iv=1234567890abcdef
printf '%s\n' "$key" > "$work/des.key"
printf 'pass word\n' > "$work/pw"

# --- Help and version
run "" --version;            check "--version" matches "$out" '^dessec [0-9]+\.[0-9]+\.[0-9]+$'
run "" --help
check "--help lists the commands" matches "$out" $'commands:\n  keygen  '
check "--help states the password rules and exit statuses" matches "$out" 'passwords:.*exit status:'
refused 2 "unexpected argument 'junk' after --version" "" --version junk
# Every option that a command's help names, in its list or its text, is one
# the command takes. Run with no terminal, in a folder of their own.
taken() { ! grep -qE -- "not expected:.* $1( |$)|$1 .*(not expected|[Uu]nknown)" "$work/err"; }
mkdir "$work/help"
for c in keygen agree seal open reseal encrypt-hex decrypt-hex hash verify des; do
  run "" "$c" --help
  check "$c --help" [ "$status" -eq 0 ]
  check "$c --help text" matches "$out" "usage: dessec $c"
  for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$out" | sort -u); do
    (cd "$work/help" && setsid "$tool" "$c" "$option" 1 2 </dev/null >/dev/null 2>"$work/err")
    check "$c --help names $option, which $c takes" taken "$option"
  done
done

# --- Known answers and round trips, with secrets kept off the command line
run "" keygen
check "keygen" matches "$out" $'^secret: [0-9a-f]{48}\npublic: ([0-9a-f]{2}){1,24}$'
sed -n 's/^secret: //p' <<<"$out" > "$work/a.secret"; public_a=$(sed -n 's/^public: //p' <<<"$out")
run "" keygen --json
check "keygen --json" matches "$out" '^\{"secret": "[0-9a-f]{48}", "public": "[0-9a-f]+"\}$'
sed -E 's/.*"secret": "([0-9a-f]+)".*/\1/' <<<"$out" > "$work/b.secret"
public_b=$(sed -E 's/.*"public": "([0-9a-f]+)".*/\1/' <<<"$out")
run "" agree --secret-file "$work/a.secret" --public "$public_b"; common_ab=$out
run "$(cat "$work/b.secret")" agree --secret - --public "$public_a"
check "both sides agree (secret from a file and from stdin)" [ -n "$common_ab" -a "$out" = "$common_ab" ]
check "common key in upper case, as dh writes it" matches "$out" '^[0-9A-F]+$'
secret_a=$(cat "$work/a.secret")

run "" seal --password-file "$work/pw" --secret-file "$work/a.secret"; record=$out
check "seal" matches "$record" '^[0-9a-f]{64}$'
run "$secret_a" seal --password-file "$work/pw" -
check "seal with the key from stdin gives the same record" [ "$out" = "$record" ]
run "pass word" open --stdin "$record"
check "open with the right password" [ "$status" -eq 0 -a "$out" = "$secret_a" ]
run "" open --password-fd 3 "$record" 3<"$work/pw"
check "open with the password from a descriptor" [ "$status" -eq 0 -a "$out" = "$secret_a" ]
run $'pass word\nnew words' reseal --stdin "$record"; resealed=$out
check "reseal" matches "$resealed" '^[0-9a-f]{64}$'
run "new words" open --stdin "$resealed"
check "the resealed record opens under the new password" [ "$out" = "$secret_a" ]
refused 1 'wrong password' $'wrong\nnew words' reseal --stdin "$record"
refused 1 'wrong password' "wrong" open --stdin "$record"

run "pw" encrypt-hex --stdin 00112233445566778899AABBCCDDEEFF; cipher=$out
run "$cipher" decrypt-hex --password-file "$work/pw" -
run "pw" decrypt-hex --stdin "$cipher"
check "encrypt-hex round trip (lower case back)" [ "$out" = 00112233445566778899aabbccddeeff ]

run "secret" hash --stdin --salt ab;                 traditional=$out
check "traditional hash" matches "$out" '^ab[./0-9A-Za-z]{11}$'
run "secret" hash --stdin --rounds 725 --salt CCCC;  extended=$out
check "extended hash" matches "$out" '^_J9\.\.CCCC[./0-9A-Za-z]{11}$'
run "secret" hash --stdin --extended --salt CCCC
check "the extended form takes 725 rounds by default" [ "$out" = "$extended" ]
run "secret" hash --stdin
check "traditional hash with a random salt" matches "$out" '^[./0-9A-Za-z]{13}$'
run $'one\ntwo\nthree' hash --stdin --batch --rounds 5
check "hash --batch: one hash per line" matches "$out" $'^_3\\.\\.\\.[./0-9A-Za-z]{15}\n_3\\.\\.\\.[./0-9A-Za-z]{15}\n_3\\.\\.\\.[./0-9A-Za-z]{15}$'
check "hash --batch: a fresh salt per line" [ "$(cut -c6-9 <<<"$out" | sort -u | wc -l)" -gt 1 ]
run "two" verify --stdin "$(sed -n 2p <<<"$out")"
check "hash --batch: the second hash is the second line's" [ "$status" -eq 0 -a "$out" = match ]
run "secret" verify --stdin "$traditional"
check "verify traditional" [ "$status" -eq 0 -a "$out" = match ]
run "secreT" verify --stdin "$extended"
check "mismatch exits 1" [ "$status" -eq 1 -a "$out" = mismatch ]
run "secreT" verify --quiet --stdin "$extended"
check "verify --quiet prints nothing" [ "$status" -eq 1 -a -z "$out" ]
for password in secret secreT; do
  printf '%s\n' "$password" | "$tool" verify --quiet --stdin "$extended" >&-; status=$?
  check "verify --quiet with standard output closed: $password" [ "$status" -eq "$([ $password = secret ]; echo $?)" ]
done
printf 'secret\n' | "$tool" verify --stdin "$extended" >&- 2>"$work/err"; status=$?; err=$(cat "$work/err")
check "verify into a closed standard output: status 2" [ "$status" -eq 2 ]
check "and one line naming the write error" matches "$err" '^dessec: write error: Bad file descriptor$'

plain=4e6f77206973207468652074696d6520666f7220616c6c20   # the FIPS 81 examples
run "" des ecb --encrypt --key-file "$work/des.key" "$plain"
check "des ecb" [ "$out" = 3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53 ]
run "" des cbc --encrypt --key "$key" --iv "$iv" "$plain"
check "des cbc" [ "$out" = e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6 ]
run "$out" des cbc --decrypt --key-file "$work/des.key" --iv "$iv"
check "des cbc decrypt from stdin" [ "$out" = "$plain" ]

# --- Nothing lost: output, pipe and read errors are failures
"$tool" seal --password-file "$work/pw" --secret-file "$work/a.secret" >/dev/full 2>"$work/err"
status=$?; err=$(cat "$work/err"); out=""
check "full disk: status 1" [ "$status" -eq 1 ]
check "full disk: one line naming the reason" matches "$(errors)" '^dessec: write error: No space left on device$'
for args in "keygen" "hash --password-file $work/pw" "verify --password-file $work/pw $traditional" \
            "des ecb -e --key-file $work/des.key $plain" "des ecb -e --key-file $work/des.key --binary --in $work/pw"; do
  # shellcheck disable=SC2086
  "$tool" $args >/dev/full 2>/dev/null; status=$?
  want=1; [ "${args%% *}" = verify ] && want=2  # verify keeps 1 for a mismatch
  check "full disk fails: $args" [ "$status" -eq "$want" ]
done
"$tool" des ecb -e --key-file "$work/des.key" --binary --in "$work/pw" --out /dev/full 2>"$work/err"; status=$?
check "full disk through --out fails" [ "$status" -eq 1 ]
head -c 262144 /dev/zero | od -An -v -tx1 | tr -d ' \n' > "$work/zeros.hex"
status=$( (trap '' PIPE; "$tool" des ecb --encrypt --key "$key" <"$work/zeros.hex" 2>/dev/null
           echo $? >"$work/st") | head -c 1 >/dev/null; cat "$work/st")
check "a closed pipe is a failure, even with SIGPIPE ignored" [ "$status" -ne 0 ]
out=$("$tool" hash --stdin <"$work" 2>"$work/err"); status=$?; err=$(cat "$work/err")
check "a read error is named, not taken as no input" matches "$status $err" '^1 dessec: read error on standard input: Is a directory$'
refused 1 'read error' "" des ecb -e --key-file "$work/des.key" --binary --in "$work"
# A read-only file system: one failure, whether the target exists or not.
mkdir "$work/ro"
if unshare -rm true 2>/dev/null; then
  # shellcheck disable=SC2016
  status=$(unshare -rm sh -c 'mount -t tmpfs none "$1" && : >"$1/old" && mount -o remount,ro "$1" &&
    for name in old new; do "$2" des ecb -e --key-file "$3" --binary --in "$3" --out "$1/$name" 2>/dev/null
      printf "%s " $?; done' sh "$work/ro" "$tool" "$work/des.key")
  check "a read-only file system: status 1 for an existing and a new --out" [ "$status" = "1 1 " ]
else
  echo "no user namespaces: a read-only file system not checked"
fi
# Long work stops at the first failed line, which is reported once.
batch() { yes hunter2 | timeout 60 "$tool" hash --stdin --batch --salt ab 2>"$work/err"; }
status=$( (batch; echo $? >"$work/st") | head -1 >/dev/null; cat "$work/st"); err=$(cat "$work/err")
check "hash --batch into a closed pipe stops with status 1" [ "$status" -eq 1 ]
check "and one line" [ "$err" = "dessec: write error: Broken pipe" ]
batch >/dev/full; status=$?; err=$(cat "$work/err")
check "hash --batch into a full disk stops with status 1" [ "$status" -eq 1 ]
check "and one line" [ "$err" = "dessec: write error: No space left on device" ]
status=$( (trap '' PIPE; "$tool" des ecb -e --key-file "$work/des.key" --binary <"$work/zeros.hex" 2>"$work/err"
           echo $? >"$work/st") | head -c 1 >/dev/null; cat "$work/st"); err=$(cat "$work/err")
check "des --binary into a closed pipe: status 1, the error once" \
  [ "$status" -eq 1 -a "$err" = "dessec: write error: Broken pipe" ]

# --- Input is bounded: /dev/zero fails fast, within little memory
limit_memory() {  # sanitizers and emulators reserve far more address space than any limit
  [ -n "${DESSEC_TEST_NO_MEMORY_LIMIT:-}" ] || ulimit -v 100000
}
zero_cases=("verify --password-file /dev/zero $traditional" "hash --password-file /dev/zero"
            "des ecb -e --key-file /dev/zero" "des ecb -e --key-file $work/des.key"
            "seal --password-file $work/pw --secret-file /dev/zero" "encrypt-hex --password-file $work/pw -"
            "decrypt-hex --password-file $work/pw -" "agree --secret-file /dev/zero --public 03")
for args in "${zero_cases[@]}"; do
  # shellcheck disable=SC2086
  out=$(limit_memory; "$tool" $args </dev/zero 2>"$work/err"); status=$?; err=$(cat "$work/err")
  check "/dev/zero fails with status 2: $args" [ "$status" -eq 2 ]
  check "in one line naming the fault: $args" one_line "$err"
  check "which is the limit or the first byte: $args" matches "$err" 'limit of 4096 bytes|NUL byte at position 1 '
done
head -c 4096 /dev/zero | tr '\0' x > "$work/long.pw"
run_from "$work/long.pw" verify --stdin "$traditional"
check "a password of 4096 bytes is taken" [ "$status" -eq 1 -a "$out" = mismatch ]
printf 'y' >> "$work/long.pw"
run_from "$work/long.pw" verify --stdin "$traditional"
check "a password of 4097 bytes is refused, naming the limit" matches "$status $err" '^2 .*limit of 4096 bytes'
head -c $((DESSEC_HEX_MAX_DIGITS + 16)) /dev/zero | tr '\0' 0 > "$work/long.hex"
run_from "$work/long.hex" encrypt-hex --password-file "$work/pw" -
check "encrypt-hex stops at $DESSEC_HEX_MAX_DIGITS digits" matches "$status $err" "^2 .*limit of $DESSEC_HEX_MAX_DIGITS bytes"
head -c 2097168 /dev/zero | tr '\0' 0 > "$work/long.hex"
run_from "$work/long.hex" des ecb -e --key-file "$work/des.key"
check "des hex mode stops at 1 MiB of data" matches "$status $err" '^2 .*limit of 1048576 bytes.*--binary'

# --- Secrets are never quoted back: their position and the kind of fault only
quotes_no_secret() { [[ $1 != *Q* && $1 != *"${secret_a:0:6}"* && $1 != *"${key:0:6}"* && $1 != *"${plain:0:6}"* ]]; }
secret_q=${secret_a:0:16}Q${secret_a:17}
printf '%s\n' "$secret_q" > "$work/q.secret"
for args in "seal --password-file $work/pw --secret-file $work/q.secret" \
            "agree --secret-file $work/q.secret --public 03" "agree --secret $secret_q --public 03" \
            "des ecb -e --key ${key:0:8}Q${key:9} $plain" "des ecb -e --key-file $work/des.key ${plain:0:16}Q${plain:17}" \
            "encrypt-hex --password-file $work/pw ${plain:0:16}Q${plain:17:15}"; do
  # shellcheck disable=SC2086
  run "" $args
  check "a secret's fault is refused: $args" [ "$status" -eq 2 ]
  check "by position: $args" matches "$(errors)" 'a printable character at position (9|17) is not a hex digit'
  check "never quoting a character of it: $args" quotes_no_secret "$(errors)"
done
run "" des ecb -e --key-file "$work/des.key" $'\x01'
check "a control character in a secret is named by kind" matches "$err" 'a control character at position 1'

# --- Passwords: no input is no password, empty ones are refused, long ones warn
refused 2 'no password' "" open --stdin "$record"
refused 2 'no password' "" seal --stdin --secret-file "$work/a.secret"
refused 2 'no password' $'pass word\n' reseal --stdin "$record"
for args in "seal --secret-file $work/a.secret" "encrypt-hex 0011223344556677" "hash" "hash --batch"; do
  # shellcheck disable=SC2086
  refused 2 'empty password is refused' $'\n' $args --stdin
done
refused 2 'empty password is refused' $'pass word\n\n' reseal --stdin "$record"
run $'\n' seal --stdin --allow-empty-password --secret-file "$work/a.secret"
check "--allow-empty-password" matches "$out" '^[0-9a-f]{64}$'
refused 2 'no password' "" verify --stdin "$traditional"
run $'\n' verify --stdin "$traditional"
check "an empty line is the empty password for verify" [ "$status" -eq 1 -a "$out" = mismatch ]
run "correct horse" seal --stdin --secret-file "$work/a.secret"
check "a long record password warns how many characters count" matches "$err" 'only the first 8 characters'
run "correct horse" hash --stdin --salt ab
check "a long traditional password warns" matches "$err" 'only the first 8 characters'
run "correct horse" hash --stdin --extended
check "the extended form counts every character" [ -z "$err" ]
run "secret" hash --stdin --rounds 724 --salt CCCC
check "an even round count warns" matches "$err" '^dessec: warning: an even round count'
check "and still hashes" matches "$out" '^_I9\.\.CCCC'
printf 'a\0b\n' > "$work/nul.pw"
for args in "hash --salt ab" "seal --secret-file $work/a.secret" "verify $traditional" "open $record"; do
  # shellcheck disable=SC2086
  run "" $args --password-file "$work/nul.pw"
  check "a NUL in a password is refused with status 2: $args" [ "$status" -eq 2 -a -z "$out" ]
  check "naming where: $args" matches "$err" 'NUL byte at position 2'
done
printf '\0\n' > "$work/nul.pw"
run "" seal --password-file "$work/nul.pw" --secret-file "$work/a.secret"
check "a lone NUL is no empty password in disguise" [ "$status" -eq 2 -a -z "$out" ]
run $'secret\r\n' hash --stdin --salt ab
check "a CRLF line gives the password of an LF line" [ "$status" -eq 0 -a "$out" = "$traditional" ]
refused 2 'per line needs' "" hash --batch --password x
refused 2 'not expected: .*--password' "" reseal --password x "$record"

# --- Secrets on the command line still work and warn
run "" seal --password-file "$work/pw" "$secret_a"
check "a secret key on the command line works" [ "$out" = "$record" ]
check "and warns" matches "$err" 'warning: seal: the secret key given on the command line'
run "" agree --secret "$secret_a" --public "$public_b"
check "agree --secret HEX warns" matches "$err" 'warning'
run "" des ecb -e --key "$key" "$plain"
check "des --key warns" matches "$err" 'warning: des: the key'
check "des data on the command line warns" matches "$err" 'warning: des: data given on the command line'
run "pw" encrypt-hex --stdin 0011223344556677
check "a hex text on the command line warns" matches "$err" 'warning'
run "" seal --password pw --secret-file "$work/a.secret"
check "--password warns" matches "$err" 'warning: a password given on the command line'
misuse 'both come from standard input' seal --stdin -
misuse 'cannot come from standard input' des ecb -e --key - "$plain"

# --- verify says what it cannot check (status 2, named formats)
while IFS='|' read -r stored name; do
  refused 2 "unsupported or malformed hash.*$name" "secret" verify --stdin "$stored"
done <<'EOF'
$6$saltsalt$qFmFH.bQmmtXzyBY0s9v7Oicd2z4XSIecDzlB5KiA2/jctKu9YterLp8wwnSq.qc.eoxqOmSuNp2xS0ktL3nh/|SHA-512
$5$saltsalt$Gcm6FsVtF/Qa77ZKD.iwsJlCVPY0XSMgLJL0Hnww/c1|SHA-256
$2b$05$abcdefghijklmnopqrstuuAxV0FMqGdCOkBbd7hxGqrO.V4g6TBVK|bcrypt
$y$j9T$F5Jx5fExrKuPp53xLKQ..1$X3DX6M94c7o.9agCG9G317fhZg9SqC.5i5rd.RhAtQ7|yescrypt
$apr1$salt$Xxd1irWT9ycqoYxGFn4cb.|apr1
*|locked
!abSJ0ab0hpmnc|locked
|not a 13- or 20-character
garbage|not a 13- or 20-character
ab0ozUNIgzCZ. |not a 13- or 20-character
$1$saltsaltx$abcdefghijklmnopqrstuv|not a 13- or 20-character
EOF

# --- verify on every form of the table of stored hashes, as the library and
# the Python package read it too
check_stored() {
  run "$table_passwd" verify --stdin "$table_stored"
  check "verify of '$table_stored': status $table_status" [ "$status" -eq "$table_status" ]
}
table_status=""
while IFS= read -r table_line || [ -n "$table_line" ]; do
  case $table_line in
    '#'*) ;;
    '') [ -z "$table_status" ] || check_stored; table_status="" ;;
    *) table_field=${table_line%%=*} table_value=${table_line#*=} table_value=${table_value# }
       case ${table_field% } in
         stored) table_stored=$table_value ;;
         passwd) table_passwd=$table_value ;;
         status) table_status=$table_value ;;
       esac ;;
  esac
done <"$(dirname "$0")/../vectors/stored_hashes.txt"
[ -z "$table_status" ] || check_stored

# verify keeps status 1 for a mismatch alone
refused 2 "cannot open '/nonexistent'" "" verify --password-file /nonexistent "$traditional"
refused 2 'read error' "" verify --password-file "$work" "$traditional"
refused 2 'HASH is required' "" verify --password-file "$work/pw"

# --- agree: only public keys from 2 to p - 2, p the header's modulus (its last digit b)
p=$(sed -n 's/^#define DESSEC_DH_MODULUS "\([0-9a-f]*\)"$/\1/p' "$(dirname "$0")/../../include/dessec.h")
check "the header names the group's modulus" [ "${#p}" -eq 48 -a "${p%b}b" = "$p" ]
for peer in 0 1 01 000001 "${p%b}a" "$p" "${p%b}c" ffffffffffffffffffffffffffffffffffffffffffffffff; do
  refused 2 'public key (below 2|above the modulus)' "" agree --secret-file "$work/a.secret" --public "$peer"
done
run "" agree --secret-file "$work/a.secret" --public 3
check "an odd-length public key is taken" [ "$status" -eq 0 ]
three=$out
# dh writes upper case and skips only whole leading zero bytes.
check "the common key is printed as dh writes it" [ "$out" = "$(python3 -c \
  "h = format(pow(3, 0x$(cat "$work/a.secret"), 0x$p), 'X'); print('0' * (len(h) % 2) + h)")" ]
run "" agree --secret-file "$work/a.secret" --public 0003
check "and gives the common key of 0003" [ -n "$out" -a "$out" = "$three" ]
run "" agree --secret-file "$work/a.secret" --public "${p%b}9"
check "p - 2 is taken" [ "$status" -eq 0 ]

# --- Messages stay on one line: quoted bytes are escaped
refused 2 "'\\\\r' at position 65" "pw" open --stdin "${record}"$'\r'
refused 2 "'\\\\n' at position 65" "pw" open --stdin "${record}"$'\n'
refused 2 "'\\\\x1b' at position 1" "pw" open --stdin $'\e[31m'"${record:5}"
refused 2 "frob\\\\x07nicate" "" $'frob\anicate'
refused 2 "garbage\\\\xff" "" verify --stdin $'garbage\xff'
refused 2 "frob\\\\u009bnicate" "" $'frob\xc2\x9bnicate'
while read -r code bytes; do  # bidirectional marks, embeddings, overrides and isolates
  refused 2 "unknown command 'ab\\\\u${code}cd'" "" "ab$(printf "$bytes")cd"
done <<'EOF'
200e \xe2\x80\x8e
200f \xe2\x80\x8f
202a \xe2\x80\xaa
202e \xe2\x80\xae
2066 \xe2\x81\xa6
2069 \xe2\x81\xa9
200b \xe2\x80\x8b
feff \xef\xbb\xbf
EOF
# Every format character (Unicode category Cf) that this machine's Python knows.
format_characters() {  # raw | escaped
  python3 - "$1" <<'PY'
import sys, unicodedata
points = [c for c in range(0x110000) if unicodedata.category(chr(c)) == "Cf"]
if sys.argv[1] == "raw":
    text = "".join(chr(c) for c in points)
else:
    text = "".join(("\\u%04x" if c <= 0xFFFF else "\\U%08x") % c for c in points)
sys.stdout.buffer.write(text.encode())
PY
}
refused 2 "" "" "ab$(format_characters raw)cd"
check "every format character is escaped" \
  [ "$err" = "dessec: unknown command 'ab$(format_characters escaped)cd' (see dessec --help)" ]
# Unicode 15's format characters, and code points not yet assigned.
refused 2 "ab\\\\U00013439\\\\U0001343fcd" "" $'ab\xf0\x93\x90\xb9\xf0\x93\x90\xbfcd'
refused 2 "ab\\\\u0378\\\\U000e0080cd" "" $'ab\xcd\xb8\xf3\xa0\x82\x80cd'
run "" $'caf\xc3\xa9'
check "other characters pass as they are" matches "$err" $'caf\xc3\xa9'

# --- des --binary equals openssl enc, in both directions, with and without padding
for size in 0 1 8 $((DESSEC_DES_MAX_LEN - 1)) "$DESSEC_DES_MAX_LEN" $((DESSEC_DES_MAX_LEN + 1)) 1048576; do
  head -c "$size" /dev/urandom > "$work/plain"
  for mode in ecb cbc; do
    ivs=(); ossl_iv=()
    [ "$mode" = cbc ] && ivs=(--iv "$iv") && ossl_iv=(-iv "$iv")
    for pad in pad no-pad; do
      flag=(); nopad=()
      if [ "$pad" = no-pad ]; then
        [ $((size % 8)) -ne 0 ] && continue
        flag=(--no-pad); nopad=(-nopad)
      fi
      what="$mode $pad $size bytes"
      "$tool" des "$mode" -e --key-file "$work/des.key" "${ivs[@]}" --binary "${flag[@]}" \
        --in "$work/plain" --out "$work/mine"
      ossl "-des-$mode" -K "$key" "${ossl_iv[@]}" "${nopad[@]}" -in "$work/plain" -out "$work/theirs"
      check "des --binary encrypts as openssl: $what" cmp -s "$work/mine" "$work/theirs"
      "$tool" des "$mode" -d --key-file "$work/des.key" "${ivs[@]}" --binary "${flag[@]}" \
        <"$work/theirs" >"$work/back"
      check "des --binary decrypts openssl's: $what" cmp -s "$work/back" "$work/plain"
    done
  done
done
fixed_bytes $((2 * DESSEC_DES_MAX_LEN)) > "$work/plain"
ossl -des-cbc -K "$key" -iv "$iv" -nopad -in "$work/plain" -out "$work/unpadded"
"$tool" des cbc -d --key-file "$work/des.key" --iv "$iv" --binary <"$work/unpadded" >"$work/back" 2>"$work/err"
status=$?; err=$(cat "$work/err"); out=""
check "a bad pad is status 1" [ "$status" -eq 1 ]
check "a bad pad is named" matches "$err" 'bad padding'
check "only the good blocks are written" cmp -s "$work/back" <(head -c 16376 "$work/plain")
head -c 16 /dev/urandom > "$work/plain"
ossl -des-cbc -K "$key" -iv "$iv" -in "$work/plain" -out "$work/whole.enc"
"$tool" des cbc -d --key-file "$work/des.key" --iv "$iv" --binary --in "$work/whole.enc" --out "$work/back"
status=$?
check "a whole block of padding: status 0" [ "$status" -eq 0 ]
check "and exactly the plaintext" cmp -s "$work/back" "$work/plain"
printf 'ABCDE\007\003\003' > "$work/plain"
ossl -des-ecb -K "$key" -nopad -in "$work/plain" -out "$work/badpad.enc"
refused 1 'bad padding' "" des ecb -d --key-file "$work/des.key" --binary --in "$work/badpad.enc"
refused 1 'inside a block' "1234567" des ecb -e --key-file "$work/des.key" --binary --no-pad
refused 1 'inside a block' "1234567" des ecb -d --key-file "$work/des.key" --binary
refused 1 'bad padding' "" des ecb -d --key-file "$work/des.key" --binary

# --- Misuse: status 2 and one clear line
misuse 'missing command'
misuse 'unknown command' frobnicate
misuse 'not expected: --bogus' keygen --bogus
misuse 'SALT missing' hash --salt
misuse 'expected 48 hex digits' agree --secret 1234 --public 03
misuse 'not a hex digit' agree --secret "${secret_a:0:47}x" --public 03
misuse 'at most 48 hex digits' agree --secret-file "$work/a.secret" --public "1$p"
misuse 'secret-file is required' agree --public 03
misuse '48 hex digits' seal --stdin abcd
misuse '64 hex digits' open --stdin "${record:0:62}"
misuse 'multiple of 16' encrypt-hex --stdin 001122334455667788
misuse 'odd number' encrypt-hex --stdin 001122334455667
misuse 'not a hex digit' decrypt-hex --stdin 00112233445566zz
misuse '--rounds' hash --stdin --rounds 0
misuse '--rounds' hash --stdin --rounds 16777216
misuse '--rounds' hash --stdin --rounds ten
misuse '4 characters' hash --stdin --rounds 11 --salt ab
misuse '2 characters' hash --stdin --salt abc
misuse 'not one of' hash --stdin --salt 'a!'
misuse 'HASH is required' verify --stdin
misuse 'ecb or cbc' des xts --encrypt --key-file "$work/des.key" 00
misuse 'exactly one' des ecb --key-file "$work/des.key" 0011223344556677
misuse '16 hex digits' des ecb --encrypt --key 0123 0011223344556677
misuse 'cbc only' des ecb --encrypt --key-file "$work/des.key" --iv 0000000000000000 0011223344556677
misuse 'whole number' des ecb --encrypt --key-file "$work/des.key" 00112233
misuse 'binary only' des ecb --encrypt --key-file "$work/des.key" --no-pad 0011223344556677
misuse 'excludes' verify --stdin --password x "$traditional"
# An empty value is refused, never taken for one not given.
while read -r option command; do
  # shellcheck disable=SC2086
  misuse "$option: an empty value" $command "$option" ""
done <<EOF
--rounds hash --stdin
--salt hash --stdin
--password-file hash
--out des ecb -e --key-file $work/des.key --binary
--in des ecb -e --key-file $work/des.key --binary
--iv des cbc -e --key-file $work/des.key 0011223344556677
--key-file des ecb -e 0011223344556677
--secret-file agree --public 03
--public agree --secret-file $work/a.secret
EOF
misuse 'DATA: an empty value' des ecb -e --key-file "$work/des.key" ""
misuse 'not negative' hash --password-fd -1
misuse '--rounds' hash --stdin --rounds +5

finish

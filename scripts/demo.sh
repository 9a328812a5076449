#!/usr/bin/env bash
# The main job: the life of a secret key with the dessec tool, and a password
# hashed and verified in both DES-based forms. Secrets and passwords travel in
# private files and pipes, never on the command line, where `ps` shows them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo
cmake -S . -B build-demo -G Ninja -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF >/dev/null
cmake --build build-demo >/dev/null
dessec=$PWD/build-demo/src/cli/dessec
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
umask 077
step() { printf '\n$ %s\n' "$*"; }

step "dessec keygen > alice.keys                     # Alice's key pair, in a private file"
$dessec keygen > alice.keys; cat alice.keys
sed -n 's/^secret: //p' alice.keys > alice.secret
alice_public=$(sed -n 's/^public: //p' alice.keys)

step "echo 'correct horse' > alice.pw; dessec seal --password-file alice.pw --secret-file alice.secret > alice.record"
echo 'correct horse' > alice.pw
$dessec seal --password-file alice.pw --secret-file alice.secret > alice.record; cat alice.record

step "dessec open --password-file alice.pw \$(cat alice.record)"
$dessec open --password-file alice.pw "$(cat alice.record)"
step "echo 'wrong horse' | dessec open --stdin \$(cat alice.record)"
echo 'wrong horse' | $dessec open --stdin "$(cat alice.record)" || echo "(exit status $?)"

step "printf 'correct horse\\nbattery staple\\n' | dessec reseal --stdin \$(cat alice.record)   # a new password"
printf 'correct horse\nbattery staple\n' | $dessec reseal --stdin "$(cat alice.record)" > alice.record.new
cat alice.record.new
step "echo 'battery staple' | dessec open --stdin \$(cat alice.record.new)"
echo 'battery staple' | $dessec open --stdin "$(cat alice.record.new)"

step "dessec keygen --json > bob.json                # Bob's key pair"
$dessec keygen --json > bob.json; cat bob.json
sed -E 's/.*"secret": "([0-9a-f]+)".*/\1/' bob.json > bob.secret
bob_public=$(sed -E 's/.*"public": "([0-9a-f]+)".*/\1/' bob.json)

step "dessec agree --secret-file alice.secret --public \$bob_public"
$dessec agree --secret-file alice.secret --public "$bob_public"
step "dessec agree --secret - --public \$alice_public < bob.secret"
$dessec agree --secret - --public "$alice_public" < bob.secret
step "dessec agree --secret-file alice.secret --public 01      # a degenerate key is refused"
$dessec agree --secret-file alice.secret --public 01 || echo "(exit status $?)"

step "echo hunter2 | dessec hash --stdin --salt ab"
traditional=$(echo hunter2 | $dessec hash --stdin --salt ab); echo "$traditional"
step "echo hunter2 | dessec verify --stdin '$traditional'"
echo hunter2 | $dessec verify --stdin "$traditional"

step "echo hunter2 | dessec hash --stdin --extended --salt CCCC   # 725 rounds"
extended=$(echo hunter2 | $dessec hash --stdin --extended --salt CCCC); echo "$extended"
step "echo hunter3 | dessec verify --stdin '$extended'"
echo hunter3 | $dessec verify --stdin "$extended" || echo "(exit status $?)"
step "echo hunter2 | dessec verify --stdin '\$6\$salt\$hash'              # a format it cannot check"
echo hunter2 | $dessec verify --stdin '$6$salt$hash' || echo "(exit status $?)"

step "echo 0123456789abcdef > des.key; dessec des cbc -e --key-file des.key --iv 1234567890abcdef --binary --in alice.keys --out alice.keys.des"
echo 0123456789abcdef > des.key
$dessec des cbc -e --key-file des.key --iv 1234567890abcdef --binary --in alice.keys --out alice.keys.des
step "dessec des cbc -d --key-file des.key --iv 1234567890abcdef --binary --in alice.keys.des | cmp - alice.keys"
$dessec des cbc -d --key-file des.key --iv 1234567890abcdef --binary --in alice.keys.des | cmp - alice.keys && echo same

#!/usr/bin/env bash
# The main job: the life of a secret key with the dessec tool, and a password
# hashed and verified in both DES-based forms.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo
scripts/build.sh build-demo -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF >/dev/null
dessec=build-demo/src/cli/dessec
step() { printf '\n$ %s\n' "$*"; }

step "dessec keygen                                 # Alice's key pair"
alice=$($dessec keygen); echo "$alice"
alice_secret=$(sed -n 's/^secret: //p' <<<"$alice"); alice_public=$(sed -n 's/^public: //p' <<<"$alice")

step "echo 'correct horse' | dessec seal --stdin \$alice_secret   # the record Alice stores"
record=$(echo 'correct horse' | $dessec seal --stdin "$alice_secret"); echo "$record"

step "echo 'correct horse' | dessec open --stdin \$record"
echo 'correct horse' | $dessec open --stdin "$record"
step "echo 'wrong horse' | dessec open --stdin \$record"
echo 'wrong horse' | $dessec open --stdin "$record" || echo "(exit status $?)"

step "dessec keygen --json                          # Bob's key pair"
bob=$($dessec keygen --json); echo "$bob"
bob_secret=$(sed -E 's/.*"secret": "([0-9a-f]+)".*/\1/' <<<"$bob")
bob_public=$(sed -E 's/.*"public": "([0-9a-f]+)".*/\1/' <<<"$bob")

step "dessec agree --secret \$alice_secret --public \$bob_public"
$dessec agree --secret "$alice_secret" --public "$bob_public"
step "dessec agree --secret \$bob_secret --public \$alice_public"
$dessec agree --secret "$bob_secret" --public "$alice_public"

step "echo hunter2 | dessec hash --stdin --salt ab"
traditional=$(echo hunter2 | $dessec hash --stdin --salt ab); echo "$traditional"
step "echo hunter2 | dessec verify --stdin '$traditional'"
echo hunter2 | $dessec verify --stdin "$traditional"

step "echo hunter2 | dessec hash --stdin --rounds 725 --salt CCCC"
extended=$(echo hunter2 | $dessec hash --stdin --rounds 725 --salt CCCC); echo "$extended"
step "echo hunter3 | dessec verify --stdin '$extended'"
echo hunter3 | $dessec verify --stdin "$extended" || echo "(exit status $?)"

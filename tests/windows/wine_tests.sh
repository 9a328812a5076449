#!/usr/bin/env bash
# wine_tests.sh DIR [LINUX_BUILD]: runs under a headless Wine what
# scripts/windows.sh left in DIR: the export checks of the DLL, the unit
# tests, a program that loads the DLL at run time and one linked against each
# import library, and the tool, all from the distribution folder.
#
# The system crypt library exists only on Linux: the Windows unit tests check
# the answers it gives to the same calls there, recorded by running the Linux
# password tests of LINUX_BUILD (built here in DIR/linux when not given).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(realpath -m "$1")
linux=$(realpath -m "${2:-$dir/linux}")
target=i686-w64-mingw32
dist=$dir/dessec-$(head -n 1 "$root/VERSION")-win32
[ -f "$dist/bin/dessec.dll" ] || { echo "no distribution in $dist (run scripts/windows.sh $1)" >&2; exit 1; }

"$root/scripts/install-missing.sh" wine wine32:i386

# A private prefix, otherwise Wine silently makes ~/.wine; no display, no
# .NET or HTML engine to install.
export WINEPREFIX=$dir/wine-prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap 'wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true' EXIT
wineboot -i </dev/null >/dev/null 2>&1

failures=0
status=0
out=""
# check WHAT COMMAND...: runs one check and counts it.
err=""
check() {
  local what=$1; shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what (status $status, output: $out${err:+, stderr: $err})"
    failures=$((failures + 1))
  fi
  status=0
  out=""
}
same() { [ "$1" = "$2" ]; }
matches() { [[ $1 =~ $2 ]]; }
# in_wine FOLDER PROGRAM ARGS...: runs a Windows program from FOLDER, where
# Windows looks first for the DLLs it needs; CRs of the console stripped.
in_wine() { (cd "$1" && shift && wine "$@" </dev/null | tr -d '\r'); }

echo "== export table of dessec.dll"
check "export table" "$root/tests/windows/check_dll.sh" "$dir/build/bin/dessec.dll"

echo "== unit tests under Wine, against the crypt answers of the Linux run"
if [ $# -lt 2 ]; then
  "$root/scripts/install-missing.sh" g++ libssl-dev libgtest-dev libcrypt-dev
  cmake -S "$root" -B "$linux" -G Ninja -DDESSEC_TESTS=ON -DDESSEC_BENCH=OFF >/dev/null
  cmake --build "$linux" --parallel "$(nproc)" --target passwd_test concurrency_test >/dev/null
fi
export DESSEC_CRYPT_ANSWERS=$dir/crypt-answers.txt
rm -f "$DESSEC_CRYPT_ANSWERS"
for oracle_test in passwd/passwd_test concurrency/concurrency_test; do
  "$linux/tests/$oracle_test" --gtest_brief=1 >/dev/null \
    || { echo "$oracle_test failed on Linux: its crypt answers are no reference" >&2; exit 1; }
done
unit_tests() { ctest --test-dir "$dir/build" --output-on-failure -j "$(nproc)" </dev/null; }
check "unit tests" unit_tests

echo "== programs of our own beside the distribution's DLLs"
run=$dir/wine-run
rm -rf "$run"
mkdir -p "$run"
cp "$dist/bin/"*.dll "$run/"
cflags=(-std=c99 -O2 -Wall -Wextra -Werror -I "$dist/include")
"$target-gcc-posix" "${cflags[@]}" -o "$run/loader_test.exe" "$root/tests/windows/loader_test.c"
# The C consumer test linked at load time, once through each import library.
"$target-gcc-posix" "${cflags[@]}" -pedantic -o "$run/linked_mingw.exe" "$root/tests/abi/c_consumer_test.c" \
  "$dist/lib/libdessec.dll.a"
"$target-gcc-posix" "${cflags[@]}" -pedantic -o "$run/linked_msvc_lib.exe" "$root/tests/abi/c_consumer_test.c" \
  "$dist/lib/dessec.lib"
for program in loader_test linked_mingw linked_msvc_lib; do
  check "$program.exe" in_wine "$run" "./$program.exe"
done

echo "== dessec.exe from the distribution"
# tool INPUT ARGS...: runs the tool with INPUT on standard input; out, err
# and status keep what it wrote to stdout and to stderr and its exit status.
tool() {
  local input=$1; shift
  status=0
  out=$(cd "$dist/bin" && printf '%s' "$input" | wine ./dessec.exe "$@" 2>"$run/stderr" | tr -d '\r') || status=$?
  err=$(tr -d '\r' <"$run/stderr")
}
tool "" keygen
check "keygen" matches "$status:$out" $'^0:secret: ([0-9a-f]{48})\npublic: [0-9a-f]+$'
secret=${BASH_REMATCH[1]:-}
tool "password" hash --stdin --salt ab
check "hash --stdin" same "$status:$out" "0:abJnggxhB/yWI"
tool "password" verify --stdin abJnggxhB/yWI
check "verify --stdin, right password: exit 0" same "$status:$out" "0:match"
tool "passwore" verify --stdin abJnggxhB/yWI
check "verify --stdin, wrong password: exit 1" same "$status:$out" "1:mismatch"
printf '%s\n' "$secret" >"$run/secret"
tool "pass wd" seal --stdin --secret-file "Z:$run/secret"
record=$out
check "seal" matches "$status:$record:$err" '^0:[0-9a-f]{64}:$'
tool "pass wd" open --stdin "$record"
check "open gives back what seal sealed" same "$status:$out" "0:$secret"
tool "wrong" open --stdin "$record"
check "open with a wrong password: exit 1" same "$status" 1

# The password typed at a console (a pseudo-terminal that Wine takes for
# one): typed at each of PROMPTS prompts once it shows, and never echoed.
# typed_at_console PROMPTS ARGS...
typed_at_console() {
  local prompts=$1 fifo=$run/console-in log=$run/console-out pid i n; shift
  rm -f "$fifo"
  mkfifo "$fifo"
  (cd "$dist/bin" && exec timeout 120 script -qec "wine ./dessec.exe $*" /dev/null <"$fifo" >"$log" 2>&1) &
  pid=$!
  exec 3>"$fifo"
  for n in $(seq "$prompts"); do
    for i in $(seq 300); do
      [ "$(grep -o 'Password:' "$log" | wc -l)" -ge "$n" ] && break
      sleep 0.1
    done
    printf 'password\r' >&3
  done
  status=0 err=""
  wait $pid || status=$?
  exec 3>&-
  out=$(sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' "$log" | tr -d '\r')
}
typed_at_console 2 hash --salt ab
check "hash asks twice at the console, without echo" same "$status:$out" $'0:Password:\nVerifying - Password:\nabJnggxhB/yWI'
typed_at_console 1 verify abJnggxhB/yWI
check "verify asks once at the console, without echo" same "$status:$out" $'0:Password:\nmatch'

if [ $failures -ne 0 ]; then
  echo "$failures Wine checks failed"
  exit 1
fi
echo "all Wine checks passed"

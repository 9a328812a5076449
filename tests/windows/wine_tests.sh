#!/usr/bin/env bash
# wine_tests.sh DIR [LINUX_BUILD]: runs under a headless Wine what
# scripts/windows.sh left in DIR, for 32-bit and for 64-bit Windows: the
# checks of the binaries (exports, imports, version resource), the unit
# tests, a program that loads the DLL at run time, programs linked against
# each import library, by mingw-w64 and by LLVM's Microsoft-compatible tools,
# with either default calling convention, and the tool, each from a folder
# of its own that holds only what a user would copy.
#
# The system crypt library exists only on Linux: the Windows unit tests check
# the answers it gives to the same calls there, recorded by running the Linux
# password tests of LINUX_BUILD (built here in DIR/linux when not given).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(realpath -m "$1")
linux=$(realpath -m "${2:-$dir/linux}")
version=$(head -n 1 "$root/VERSION")
for arch in win32 win64; do
  [ -f "$dir/dessec-$version-$arch/bin/dessec.dll" ] \
    || { echo "no $arch distribution in $dir (run scripts/windows.sh $1)" >&2; exit 1; }
done

"$root/scripts/install-missing.sh" wine wine32:i386 wine64 clang lld llvm

# A private prefix, otherwise Wine silently makes ~/.wine; a 64-bit one runs
# 32-bit programs too. No display, no .NET or HTML engine to install.
export WINEPREFIX=$dir/wine-prefix-win64 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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
# with_host_openssl_conf PROGRAM: runs PROGRAM of $run as a host program
# whose environment names its own OpenSSL configuration.
with_host_openssl_conf() {
  (cd "$run" && OPENSSL_CONF="Z:$(echo "$run" | tr / '\\')\\host-openssl.cnf" wine "$1" </dev/null | tr -d '\r')
}

# tool INPUT ARGS...: runs the tool with INPUT on standard input; out, err
# and status keep what it wrote to stdout and to stderr and its exit status.
tool() {
  local input=$1; shift
  status=0
  out=$(cd "$tool_dir" && printf '%s' "$input" | wine ./dessec.exe "$@" 2>"$run/stderr" | tr -d '\r') || status=$?
  err=$(tr -d '\r' <"$run/stderr")
}
# The password typed at a console (a pseudo-terminal that Wine takes for
# one): typed at each of PROMPTS prompts once it shows, and never echoed.
# typed_at_console PROMPTS ARGS...
typed_at_console() {
  local prompts=$1 fifo=$run/console-in log=$run/console-out pid i n; shift
  rm -f "$fifo"
  mkfifo "$fifo"
  (cd "$tool_dir" && exec timeout 120 script -qec "wine ./dessec.exe $*" /dev/null <"$fifo" >"$log" 2>&1) &
  pid=$!
  exec 3>"$fifo"
  for n in $(seq "$prompts"); do
    for i in $(seq 300); do
      [ "$(grep -o 'Password:' "$log" | wc -l)" -ge "$n" ] && break
      sleep 0.1
    done
    # On a busy machine Wine's console has echoed keys typed the moment the
    # prompt showed.
    sleep 0.5
    printf 'password\r' >&3
  done
  status=0 err=""
  wait $pid || status=$?
  exec 3>&-
  out=$(sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' "$log" | tr -d '\r')
}
# tool_checks: the tool in $tool_dir, by arguments, standard input and console.
tool_checks() {
  tool "" keygen
  check "$arch: keygen" matches "$status:$out" $'^0:secret: ([0-9a-f]{48})\npublic: [0-9a-f]+$'
  secret=${BASH_REMATCH[1]:-}
  tool "password" hash --stdin --salt ab
  check "$arch: hash --stdin" same "$status:$out" "0:abJnggxhB/yWI"
  tool "password" verify --stdin abJnggxhB/yWI
  check "$arch: verify --stdin, right password: exit 0" same "$status:$out" "0:match"
  tool "passwore" verify --stdin abJnggxhB/yWI
  check "$arch: verify --stdin, wrong password: exit 1" same "$status:$out" "1:mismatch"
  printf '%s\n' "$secret" >"$run/secret"
  tool "pass wd" seal --stdin --secret-file "Z:$run/secret"
  record=$out
  check "$arch: seal" matches "$status:$record:$err" '^0:[0-9a-f]{64}:$'
  tool "pass wd" open --stdin "$record"
  check "$arch: open gives back what seal sealed" same "$status:$out" "0:$secret"
  tool "wrong" open --stdin "$record"
  check "$arch: open with a wrong password: exit 1" same "$status" 1

  typed_at_console 2 hash --salt ab
  check "$arch: hash asks twice at the console, without echo" same "$status:$out" $'0:Password:\nVerifying - Password:\nabJnggxhB/yWI'
  typed_at_console 1 verify abJnggxhB/yWI
  check "$arch: verify asks once at the console, without echo" same "$status:$out" $'0:Password:\nmatch'
}

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
unit_tests() { ctest --test-dir "$dir/build-$1" --output-on-failure -j "$(nproc)" </dev/null; }
for arch in win32 win64; do
  check "$arch: unit tests" unit_tests $arch
done

clang_cl=$(command -v clang-cl || command -v clang-cl-14)
# kernel32_lib ARCH STYLE: an import library of the three KERNEL32 functions
# every_export.c calls, for its builds without a C runtime; prints its path.
# STYLE says how the program names them: "plain", or on 32-bit Windows
# "stdcall" (GetStdHandle@4). GCC's -mrtd leaves the @4 off.
kernel32_lib() {
  local arch=$1 style=$2 machine=i386:x86-64 options=() work=$dir/kernel32-$1-$2
  mkdir -p "$work"
  printf 'LIBRARY KERNEL32.dll\nEXPORTS\n' >"$work/kernel32.def"
  if [ "$style" = stdcall ]; then
    printf '  ExitProcess@4\n  GetStdHandle@4\n  WriteFile@20\n' >>"$work/kernel32.def"
    options=(-k)
  else
    printf '  ExitProcess\n  GetStdHandle\n  WriteFile\n' >>"$work/kernel32.def"
  fi
  [ "$arch" = win32 ] && machine=i386
  llvm-dlltool -m $machine "${options[@]}" -d "$work/kernel32.def" -l "$work/kernel32.lib"
  echo "$work/kernel32.lib"
}

# clang_cl_consumer ARCH NAME FLAGS...: every_export.c built by clang-cl and
# linked by lld-link against the distribution's dessec.lib, with no C
# runtime: none comes with LLVM, so the program has an entry point of its own
# and writes through KERNEL32. Paths go after "--": clang-cl reads /work/...
# as an option.
clang_cl_consumer() {
  local arch=$1 name=$2 machine=X64 clang_target=x86_64-pc-windows-msvc style=plain
  shift 2
  if [ "$arch" = win32 ]; then
    machine=X86 clang_target=i686-pc-windows-msvc style=stdcall
  fi
  "$clang_cl" --target=$clang_target /nologo /W4 /WX /O2 /GS- /DDESSEC_CONSUMER_NO_CRT /I "$dist/include" "$@" \
    /c /Fo"$run/$name.obj" -- "$root/tests/windows/every_export.c"
  lld-link /nologo /machine:$machine /subsystem:console /entry:consumer_start /nodefaultlib \
    /out:"$run/$name.exe" "$run/$name.obj" "$dist/lib/dessec.lib" "$(kernel32_lib $arch $style)"
  rm "$run/$name.obj"
}

for arch in win32 win64; do
  dist=$dir/dessec-$version-$arch
  target=i686-w64-mingw32
  [ $arch = win64 ] && target=x86_64-w64-mingw32

  echo "== $arch: dessec.dll and dessec.exe"
  check "$arch: export table" "$root/tests/windows/check_dll.sh" "$dir/build-$arch/bin/dessec.dll"
  check "$arch: only system DLLs imported" "$root/tests/windows/check_imports.sh" \
    "$dist/bin/dessec.dll" "$dist/bin/dessec.exe"
  check "$arch: bin/ holds dessec.dll and dessec.exe alone" \
    same "$(ls "$dist/bin" | tr '\n' ' ')" "dessec.dll dessec.exe "

  echo "== $arch: programs of our own in a folder that holds only them and dessec.dll"
  run=$dir/wine-run-$arch
  rm -rf "$run"
  mkdir -p "$run"
  cp "$dist/bin/dessec.dll" "$run/"
  cflags=(-std=c99 -O2 -Wall -Wextra -Werror -I "$dist/include")
  "$target-gcc-posix" "${cflags[@]}" -o "$run/loader_test.exe" "$root/tests/windows/loader_test.c"
  "$target-gcc-posix" "${cflags[@]}" -o "$run/version_check.exe" "$root/tests/windows/version_check.c" -lversion
  # The C consumer test linked at load time, once through each import library.
  "$target-gcc-posix" "${cflags[@]}" -pedantic -o "$run/linked_mingw.exe" "$root/tests/abi/c_consumer_test.c" \
    "$dist/lib/libdessec.dll.a"
  "$target-gcc-posix" "${cflags[@]}" -pedantic -o "$run/linked_msvc_lib.exe" "$root/tests/abi/c_consumer_test.c" \
    "$dist/lib/dessec.lib"
  programs=(loader_test linked_mingw linked_msvc_lib every_export_c every_export_cpp)
  clang_cl_consumer $arch every_export_c /TC
  clang_cl_consumer $arch every_export_cpp /TP
  if [ $arch = win32 ]; then
    # 32-bit programs built with __stdcall as their default convention. GCC
    # would call a strlen of its own making as __stdcall too: none is made.
    "$target-gcc-posix" "${cflags[@]}" -mrtd -fno-tree-loop-distribute-patterns -o "$run/every_export_mrtd.exe" \
      "$root/tests/windows/every_export.c" "$dist/lib/libdessec.dll.a" "$(kernel32_lib $arch plain)"
    clang_cl_consumer $arch every_export_gz /TC /Gz
    programs+=(every_export_mrtd every_export_gz)
  fi
  for program in "${programs[@]}"; do
    check "$arch: $program.exe" in_wine "$run" "./$program.exe"
  done
  # A host program's OpenSSL configuration is none of the DLL's business: read,
  # this one would leave the random generator behind dh_keysGenerator unusable.
  printf '%s\n' 'config_diagnostics = 1' 'openssl_conf = init' '[init]' 'providers = providers' '[providers]' \
    'absent = absent' '[absent]' 'activate = 1' >"$run/host-openssl.cnf"
  check "$arch: a host's OPENSSL_CONF is not read" with_host_openssl_conf ./every_export_c.exe
  check "$arch: version resource of dessec.dll" in_wine "$run" ./version_check.exe dessec.dll "$version"
  cp "$dist/bin/dessec.exe" "$run/"
  check "$arch: version resource of dessec.exe" in_wine "$run" ./version_check.exe dessec.exe "$version"

  echo "== $arch: dessec.exe alone in a folder"
  tool_dir=$dir/wine-tool-$arch
  rm -rf "$tool_dir"
  mkdir -p "$tool_dir"
  cp "$dist/bin/dessec.exe" "$tool_dir/"
  tool_checks
done

if [ $failures -ne 0 ]; then
  echo "$failures Wine checks failed"
  exit 1
fi
echo "all Wine checks passed"

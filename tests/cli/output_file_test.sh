#!/usr/bin/env bash
# output_file_test.sh DESSEC: --out as a careful user and an attacker who
# shares the folder see it: the target is never written through a link nor
# destroyed, keeps what its owner chose, and a crash leaves nothing behind.
set -uo pipefail
tool=$1
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"

key=0123456789abcdef
printf '%s\n' "$key" > "$work/des.key"
root() { [ "$(id -u)" -eq 0 ]; }

# --- Replaced only on success, never onto what the command reads
mkdir "$work/out"
fixed_bytes 20000 > "$work/out/data"; cp "$work/out/data" "$work/out/data.orig"
chmod 644 "$work/out/data"
cp "$work/des.key" "$work/out/key"
unchanged() { cmp -s "$work/out/data" "$work/out/data.orig" && cmp -s "$work/out/key" "$work/des.key"; }
new_files() { ls -A "$work/out" | grep '^\.dessec-'; }
no_leftovers() { [ -z "$(new_files)" ]; }
ecb_out=(des ecb --key-file "$work/out/key" --binary)
refused 2 "--out .* is the file read as --in" "" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/data"
check "--out onto --in leaves the data" unchanged
run_from "$work/out/data" "${ecb_out[@]}" -e --out "$work/out/data"
check "--out onto standard input: status 2" [ "$status" -eq 2 ]
check "--out onto standard input: one line" one_line "$err"
check "and names it" matches "$err" 'is the file read as standard input'
refused 2 "is the file read as --key-file" "" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/key"
check "--out onto the key file leaves both" unchanged
"$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/data.enc"; status=$?
check "a new --out file is written" [ "$status" -eq 0 ]
check "with the data encrypted" cmp -s "$work/out/data.enc" <(ossl -des-ecb -K "$key" -in "$work/out/data")
check "a new --out file has mode 0600 under umask 022" [ "$(umask 022; stat -c %a "$work/out/data.enc")" = 600 ]
(umask 022; "$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/new.enc")
check "mode 0600 when the tool itself runs under umask 022" [ "$(stat -c %a "$work/out/new.enc")" = 600 ]
rm "$work/out/new.enc"
printf '1111111111111111\n' > "$work/wrong.key"
refused 1 'bad padding' "" des ecb -d --key-file "$work/wrong.key" --binary --in "$work/out/data.enc" \
  --out "$work/out/data"
check "a wrong-key decryption leaves --out as it was" unchanged
# Non-dumpable, the tool may open its own memory only as root.
refused 1 'read error|cannot open' "" "${ecb_out[@]}" -d --in /proc/self/mem --out "$work/out/data"
check "a read error leaves --out as it was" unchanged
refused 1 'read error.*Is a directory' "" "${ecb_out[@]}" -e --in "$work" --out "$work/out/data"
check "an --in folder leaves --out as it was" unchanged
check "no temporary file is left behind" no_leftovers
ln -s data.orig "$work/out/link"
refused 2 'symbolic link' "" "${ecb_out[@]}" -e --in "$work/out/data.enc" --out "$work/out/link"
check "a symbolic link at --out still points where it pointed" [ "$(readlink "$work/out/link")" = data.orig ]
check "and its target is unchanged" cmp -s "$work/out/data.orig" "$work/out/data"
refused 2 'is a folder' "" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out"

# --- What the owner chose stays: owner, group and mode, other names, write protection
chmod 640 "$work/out/data"
"$tool" "${ecb_out[@]}" -d --in "$work/out/data.enc" --out "$work/out/data"; status=$?
check "a successful run replaces --out" [ "$status" -eq 0 ]
check "with the whole decryption" unchanged
check "and keeps its mode" [ "$(stat -c %a "$work/out/data")" = 640 ]
if root; then
  chown nobody:nogroup "$work/out/data"; chmod 604 "$work/out/data"
  "$tool" "${ecb_out[@]}" -d --in "$work/out/data.enc" --out "$work/out/data"
  check "a file of another user keeps its owner, group and mode" \
    [ "$(stat -c '%U:%G %a' "$work/out/data")" = "nobody:nogroup 604" ]
  chown root:root "$work/out/data"
else
  echo "not root: owner and group not checked"
fi
ln "$work/out/data" "$work/out/hard"
refused 2 "is the file read as --in" "" "${ecb_out[@]}" -e --in "$work/out/hard" --out "$work/out/data"
refused 2 "other hard links" "" "${ecb_out[@]}" -d --in "$work/out/data.enc" --out "$work/out/data"
check "a hard-linked target: both names unchanged" \
  [ "$(stat -c %i "$work/out/data")" = "$(stat -c %i "$work/out/hard")" ]
check "and their content too" unchanged
rm "$work/out/hard"
chmod 444 "$work/out/data"
refused 2 "write-protected" "" "${ecb_out[@]}" -d --in "$work/out/data.enc" --out "$work/out/data"
check "a write-protected target is unchanged" unchanged
check "and still write-protected" [ "$(stat -c %a "$work/out/data")" = 444 ]
chmod 644 "$work/out/data"

# --- Streams: devices and pipes in place, "-" and the descriptor names as standard streams
for name in - /dev/stdout /proc/self/fd/1; do
  "$tool" "${ecb_out[@]}" -e --in - --out "$name" <"$work/out/data" >"$work/stream.enc" 2>"$work/err"
  status=$?; err=$(cat "$work/err")
  check "--out $name is standard output" [ "$status" -eq 0 ]
  check "--out $name: the data encrypted" cmp -s "$work/stream.enc" "$work/out/data.enc"
done
check "--out - names no file" [ ! -e ./- ]
"$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out /dev/fd/3 3>"$work/fd3.enc"; status=$?
check "--out /dev/fd/3 writes to descriptor 3" [ "$status" -eq 0 ]
check "the data encrypted" cmp -s "$work/fd3.enc" "$work/out/data.enc"
# A named descriptor is checked as standard output is: /dev/null is no file
# that the command reads; a name that is no open descriptor is misuse.
"$tool" "${ecb_out[@]}" -e --in /dev/null --out /dev/stdout >/dev/null; status=$?
check "--out /dev/stdout onto /dev/null while reading /dev/null" [ "$status" -eq 0 ]
refused 2 "names no descriptor" "" "${ecb_out[@]}" -e --in "$work/out/data" --out /dev/fd/-1
refused 2 "descriptor 9 is not open" "" "${ecb_out[@]}" -e --in "$work/out/data" --out /dev/fd/9
"$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/data.new" >&-; status=$?
check "an unused closed standard output is no error" [ "$status" -eq 0 ]
check "and the file is written" cmp -s "$work/out/data.new" "$work/out/data.enc"
if root; then
  null_alias=$work/null-alias
  mknod "$null_alias" c "$((0x$(stat -c %t /dev/null)))" "$((0x$(stat -c %T /dev/null)))"
  refused 2 "is the file read as --in" "" "${ecb_out[@]}" -e --in /dev/null --out "$null_alias"
  run_from /dev/null "${ecb_out[@]}" -e --out "$null_alias"
  check "an alias of the device on standard input is refused" \
    matches "$status $err" '^2 .*is the file read as standard input'
else
  echo "not root: device aliases not checked"
fi

# --- Never through a link swapped in: a racing helper, and the opens themselves
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$work/out/socket"
cp "$work/out/data.orig" "$work/out/victim"
swap() {  # a socket and a link to the victim, in turn, at "target"
  cd "$work/out" || exit
  while :; do
    ln -f socket s.new && mv -fT s.new target
    ln -sfn victim l.new && mv -fT l.new target
  done
}
swap & swapper=$!
for _ in $(seq 40); do
  "$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/target" 2>/dev/null
done
kill "$swapper"; wait "$swapper" 2>/dev/null
check "a link swapped in for a socket is never written through" cmp -s "$work/out/victim" "$work/out/data.orig"
mkfifo "$work/out/fifo"
# Only root may read the arguments of a non-dumpable process's calls.
if root && command -v strace >/dev/null && strace -f -o /dev/null true 2>/dev/null; then
  (exec 3<>"$work/out/fifo"
   strace -f -e trace=open,openat -o "$work/trace" "$tool" "${ecb_out[@]}" -e --in "$work/out/data" \
     --out "$work/out/fifo" 2>/dev/null)
  opens=$(grep -E '"fifo"' "$work/trace")
  safe_opens() {
    [ -n "$opens" ] && ! grep -v O_NOFOLLOW <<<"$opens" | grep -q . && ! matches "$opens" 'O_TRUNC|O_CREAT'
  }
  check "the target is opened without following a link, creating or truncating" safe_opens
  check "and through its folder, not by its path" matches "$opens" 'openat\([0-9]+, "fifo"'

else
  echo "no strace or not root: the opens of the target not checked"
fi

# --- An attacker in the same folder, and a careful administrator
# tool_holds PID PREFIX: the tool has a file under PREFIX open, so it is past
# opening its output. The tool is non-dumpable: only root sees its open files.
tool_holds() {
  ls -l "/proc/$1/fd" 2>/dev/null | grep -q -- "-> $2" || ! root
}
wait_until_holds() { for _ in $(seq 200); do sleep 0.05; tool_holds "$1" "$2" && return; done; }
mkdir -p "$work/att/d" "$work/victim"
cp "$work/des.key" "$work/victim/out"; chmod 444 "$work/victim/out"
mkfifo "$work/att.in"
"$tool" "${ecb_out[@]}" -d --in "$work/att.in" --out "$work/att/d/out" 2>/dev/null & pid=$!
exec 3>"$work/att.in"
wait_until_holds "$pid" "$work/att/d/"
mv "$work/att/d" "$work/att/moved" && ln -s "$work/victim" "$work/att/d"
cat "$work/out/data.enc" >&3; exec 3>&-  # the input comes only after the swap
wait "$pid"; status=$?
check "a folder swapped for a link while the tool waits: status 0" [ "$status" -eq 0 ]
check "the file behind the link is untouched" cmp -s "$work/victim/out" "$work/des.key"
check "and keeps its mode" [ "$(stat -c %a "$work/victim/out")" = 444 ]
check "the result is in the folder first opened" cmp -s "$work/att/moved/out" "$work/out/data.orig"

mkfifo "$work/named.in"
"$tool" "${ecb_out[@]}" -e --in "$work/named.in" --out "$work/out/named" 2>"$work/err" & pid=$!
exec 3>"$work/named.in"
for n in $(seq 0 99); do ln -s /nonexistent "$work/out/.dessec-$pid-$n"; done
cat "$work/out/data" >&3; exec 3>&-
wait "$pid"; status=$?; err=$(cat "$work/err")
check "links planted at names derived from the process: status 0" [ "$status" -eq 0 ]
check "and the file written" cmp -s "$work/out/named" "$work/out/data.enc"
rm -f "$work/out/.dessec-$pid-"* "$work/out/named"

refused 2 "is a socket" "" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/socket"
(umask 777; "$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/masked.enc")
check "a new file has mode 0600 under umask 777" [ "$(stat -c %a "$work/out/masked.enc")" = 600 ]
(umask 777; "$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/masked.enc"); status=$?
check "and is replaced again under umask 777" [ "$status" -eq 0 ]
rm "$work/out/masked.enc"

cp "$work/out/data" "$work/out/self"
for redirect in '1<>' '>>'; do  # the file read, opened on standard output by the shell; bounded
  (ulimit -f 1000; eval '"$tool" "${ecb_out[@]}" -e --no-pad --in "$work/out/self" 2>"$work/err"' \
    "$redirect" '"$work/out/self"')
  status=$?; err=$(cat "$work/err")
  check "--in f $redirect f: status 2" [ "$status" -eq 2 ]
  check "--in f $redirect f: one line naming it" \
    matches "$(one_line "$err" && echo "$err")" 'standard output, which is the file read as --in'
  check "--in f $redirect f: the file unchanged" cmp -s "$work/out/self" "$work/out/data"
done
"$tool" "${ecb_out[@]}" -e --in "$work/out/data" </dev/null >/dev/null; status=$?
check "/dev/null on standard output is no file read" [ "$status" -eq 0 ]

if command -v setfacl >/dev/null && mkdir "$work/acl" && setfacl -d -m u:nobody:rw "$work/acl"; then
  cp "$work/out/data.orig" "$work/acl/data"; chmod 640 "$work/acl/data"; setfacl -b "$work/acl/data"
  for name in data new; do
    "$tool" "${ecb_out[@]}" -d --in "$work/out/data.enc" --out "$work/acl/$name"; status=$?
    check "a default ACL on the folder: $name written" [ "$status" -eq 0 ]
    check "a default ACL on the folder: $name takes none of it" [ -z "$(getfacl -cs "$work/acl/$name")" ]
  done
  check "the replaced file keeps its mode" [ "$(stat -c %a "$work/acl/data")" = 640 ]
  check "the new file has mode 0600" [ "$(stat -c %a "$work/acl/new")" = 600 ]
else
  echo "no setfacl or no ACLs here: the folder's default ACL not checked"
fi

if root; then
  mkdir -m 1777 "$work/shared"
  touch "$work/shared/plain.bin"; chmod 600 "$work/shared/plain.bin"; chown nobody "$work/shared/plain.bin"
  refused 2 "belongs to another user in a shared sticky folder" "" "${ecb_out[@]}" -d --in "$work/out/data.enc" \
    --out "$work/shared/plain.bin"
  check "a file planted in a sticky folder gets nothing" [ ! -s "$work/shared/plain.bin" ]
  mkfifo "$work/shared/fifo"; chown nobody "$work/shared/fifo"
  cat "$work/shared/fifo" >"$work/caught" & reader=$!
  refused 2 "belongs to another user in a shared sticky folder" "" "${ecb_out[@]}" -d --in "$work/out/data.enc" \
    --out "$work/shared/fifo"
  exec 3<>"$work/shared/fifo"; exec 3>&-; wait "$reader"  # the reader sees its end
  check "a FIFO planted in a sticky folder gets nothing" [ ! -s "$work/caught" ]
  chown nobody "$work/shared"
  "$tool" "${ecb_out[@]}" -d --in "$work/out/data.enc" --out "$work/shared/plain.bin"; status=$?
  check "the sticky folder's owner's file is replaced" cmp -s "$work/shared/plain.bin" "$work/out/data.orig"

  touch "$work/out/mounted"
  if mount --bind "$work/out/data.orig" "$work/out/mounted" 2>/dev/null; then
    refused 2 "is a mount point" "" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/mounted"
    umount "$work/out/mounted"
  else
    echo "no bind mounts here: a mounted target not checked"
  fi
  rm "$work/out/mounted"
  # A block node for the device that a tmpfs file lives on: major 0 has no
  # driver, so nothing could be written there even by a faulty tool.
  if shm=$(mktemp -p /dev/shm) 2>/dev/null && [ "$(stat -c %Hd "$shm")" = 0 ]; then
    mknod "$work/out/disk" b 0 "$(stat -c %Ld "$shm")"
    refused 2 "is the file read as --in" "" "${ecb_out[@]}" -e --in "$shm" --out "$work/out/disk"
    rm -f "$work/out/disk" "$shm"
  else
    echo "no tmpfs at /dev/shm: a file and its block device not checked"
  fi
else
  echo "not root: sticky folders, mount points and block devices not checked"
fi

# --- A crash or a signal while writing leaves no part of the new file
# The tool reads from a pipe that holds one chunk and stays open: it has
# written the chunk and waits for more when the signal comes.
fixed_bytes $((16 * 1024)) > "$work/chunk"
mkfifo "$work/in.fifo"
for signal in KILL TERM HUP USR1 USR2 ALRM XFSZ PIPE; do  # INT: ignored in a background job
  "$tool" "${ecb_out[@]}" -e --in "$work/in.fifo" --out "$work/out/data" 2>/dev/null & pid=$!
  exec 3>"$work/in.fifo"
  cat "$work/chunk" >&3
  wait_until_holds "$pid" "$work/out/"
  kill -s "$signal" "$pid"
  [ "$signal" = PIPE ] && { sleep 0.1; kill -s KILL "$pid"; }  # ignored: a closed pipe is a write error
  { wait "$pid"; } 2>/dev/null; status=$?
  exec 3>&-
  check "SIG$signal while writing ends the tool" [ "$status" -gt 128 ]
  check "SIG$signal while writing leaves no new file" no_leftovers
  check "SIG$signal while writing leaves --out" unchanged
done
(ulimit -f 8; "$tool" "${ecb_out[@]}" -e --in "$work/out/data" --out "$work/out/data" 2>/dev/null)
check "a file size limit hit while writing leaves --out" unchanged
check "and no new file" no_leftovers

finish

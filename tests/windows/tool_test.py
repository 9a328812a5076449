#!/usr/bin/env python3
"""tool_test.py DESSEC_EXE FOLDER WINE...: the Windows tool under Wine, alone
in FOLDER, by arguments, standard input and a console: a pseudo-terminal,
which Wine takes for one, where the password is typed at each prompt once it
shows and is never echoed.
"""
import os
import re
import select
import shutil
import subprocess
import sys
import time

exe, folder, wine = sys.argv[1], sys.argv[2], sys.argv[3:]
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
shutil.copy(exe, folder)
failures = 0


def check(what, ok, seen):
    global failures
    print(("ok: " if ok else "FAIL: ") + what + ("" if ok else f" (got {seen!r})"))
    failures += not ok


def tool(stdin, *args):
    run = subprocess.run([*wine, "./dessec.exe", *args], cwd=folder, input=stdin.encode(),
                         capture_output=True, timeout=300)
    return run.returncode, run.stdout.decode().replace("\r", ""), run.stderr.decode().replace("\r", "")


def typed_at_console(prompts, *args):
    master, slave = os.openpty()
    proc = subprocess.Popen([*wine, "./dessec.exe", *args], cwd=folder, stdin=slave, stdout=slave,
                            stderr=slave, start_new_session=True)
    os.close(slave)
    shown, end = b"", time.monotonic() + 120
    for n in range(1, prompts + 1):
        while shown.count(b"Password:") < n and time.monotonic() < end:
            if select.select([master], [], [], 0.1)[0]:
                shown += os.read(master, 1024)
        # On a busy machine Wine's console has echoed keys typed the moment
        # the prompt showed.
        time.sleep(0.5)
        os.write(master, b"password\r")
    while proc.poll() is None and time.monotonic() < end:
        if select.select([master], [], [], 0.1)[0]:
            try:
                shown += os.read(master, 1024)
            except OSError:
                break
    status = proc.wait(timeout=max(1, end - time.monotonic()))
    os.close(master)
    text = re.sub(r"\x1b\[[?0-9;]*[A-Za-z]", "", shown.decode(errors="replace")).replace("\r", "")
    return status, text.strip("\n")


status, out, err = tool("", "keygen")
keys = re.fullmatch(r"secret: ([0-9a-f]{48})\npublic: [0-9a-f]+\n", out)
check("keygen", status == 0 and keys, (status, out))
secret = keys.group(1) if keys else ""
result = tool("password", "hash", "--stdin", "--salt", "ab")
check("hash --stdin", result[:2] == (0, "abJnggxhB/yWI\n"), result)
result = tool("password", "verify", "--stdin", "abJnggxhB/yWI")
check("verify --stdin, right password: exit 0", result[:2] == (0, "match\n"), result)
result = tool("passwore", "verify", "--stdin", "abJnggxhB/yWI")
check("verify --stdin, wrong password: exit 1", result[:2] == (1, "mismatch\n"), result)
with open(os.path.join(folder, "secret"), "w") as f:
    f.write(secret + "\n")
status, record, err = tool("pass wd", "seal", "--stdin", "--secret-file", "secret")
check("seal", status == 0 and re.fullmatch(r"[0-9a-f]{64}\n", record) and err == "", (status, record, err))
result = tool("pass wd", "open", "--stdin", record.strip())
check("open gives back what seal sealed", result[:2] == (0, secret + "\n"), result)
result = tool("wrong", "open", "--stdin", record.strip())
check("open with a wrong password: exit 1", result[0] == 1, result)

# --out: a new file, then one replaced, the round trip whole, the file read
# refused, and no hidden new file left behind.
with open(os.path.join(folder, "des.key"), "w") as f:
    f.write("0123456789abcdef\n")
data = bytes(range(256)) * 4
with open(os.path.join(folder, "data"), "wb") as f:
    f.write(data)
ecb = ("des", "ecb", "--key-file", "des.key", "--binary")
result = tool("", *ecb, "-e", "--in", "data", "--out", "data.enc")
check("--out makes a new file", result[0] == 0, result)
for _ in range(2):
    result = tool("", *ecb, "-d", "--in", "data.enc", "--out", "data.dec")
    with open(os.path.join(folder, "data.dec"), "rb") as f:
        check("--out written, then replaced, with the round trip", result[0] == 0 and f.read() == data, result)
result = tool("", *ecb, "-e", "--in", "data", "--out", "data")
check("--out onto --in: exit 2", result[0] == 2 and "is the file read as --in" in result[2], result)
left = [name for name in os.listdir(folder) if name.startswith(".dessec-")]
check("no hidden new file left behind", not left, left)

result = typed_at_console(2, "hash", "--salt", "ab")
check("hash asks twice at the console, without echo",
      result == (0, "Password:\nVerifying - Password:\nabJnggxhB/yWI"), result)
result = typed_at_console(1, "verify", "abJnggxhB/yWI")
check("verify asks once at the console, without echo", result == (0, "Password:\nmatch"), result)
sys.exit(1 if failures else 0)

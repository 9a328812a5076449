#!/usr/bin/env python3
"""process_test.py DESSEC: the tool as a process among others.

No core dump while it holds secrets, whatever the core size limit it was
given; a closed pipe on standard output is a write error with the command's
status, not a silent death by SIGPIPE; every signal that ends the tool
removes the new --out file where it has a name from the start.
"""
import os
import resource
import signal
import subprocess
import tempfile
import time

from checks import TOOL, check, ended_by, ending_signals, finish, signal_name


def unlimited_core():
    hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
    resource.setrlimit(resource.RLIMIT_CORE, (hard, hard))


def run_into_closed_pipe(args, stdin_data):
    """Runs the tool with standard output on a pipe whose reader is gone."""
    read_end, write_end = os.pipe()
    os.close(read_end)
    proc = subprocess.Popen([TOOL, *args], stdin=subprocess.PIPE, stdout=write_end, stderr=subprocess.PIPE)
    os.close(write_end)
    _, err = proc.communicate(stdin_data, timeout=60)
    return proc.returncode, err


with tempfile.TemporaryDirectory() as work:
    os.chdir(work)  # where a core file would be written
    with open("des.key", "w") as key:
        key.write("0123456789abcdef\n")

    # A closed pipe: one line, and the status that the command documents.
    for args, want in ((["verify", "--stdin", "ab0ozUNIgzCZ."], 2), (["keygen"], 1),
                       (["hash", "--stdin", "--salt", "ab"], 1)):
        status, err = run_into_closed_pipe(args, b"hunter2\n")
        check("%s into a closed pipe: status %d, got %d" % (args[0], want, status), status == want)
        check("%s into a closed pipe: says so in one line" % args[0],
              err == b"dessec: write error: Broken pipe\n")
    status, err = run_into_closed_pipe(["verify", "--quiet", "--stdin", "ab0ozUNIgzCZ."], b"hunter2\n")
    check("verify --quiet never writes: a match is 0 whatever standard output is", status == 0 and err == b"")

    # SIGQUIT mid-decryption, with the key and some plaintext in memory.
    encrypt = subprocess.run([TOOL, "des", "cbc", "-e", "--key-file", "des.key", "--binary"],
                             input=b"attack at dawn\n" * 4096, capture_output=True, check=True)
    proc = subprocess.Popen([TOOL, "des", "cbc", "-d", "--key-file", "des.key", "--binary"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            preexec_fn=unlimited_core)
    proc.stdin.write(encrypt.stdout[:32768])
    proc.stdin.flush()
    plaintext = proc.stdout.read(4096)  # the tool decrypts what it was given and waits for more
    proc.send_signal(signal.SIGQUIT)
    _, wait_status = os.waitpid(proc.pid, 0)
    proc.returncode = -signal.SIGQUIT
    proc.stdin.close()
    check("SIGQUIT mid-decryption ends the tool", os.WIFSIGNALED(wait_status) and plaintext.startswith(b"attack"))
    check("SIGQUIT mid-decryption dumps no core", not os.WCOREDUMP(wait_status))
    check("and leaves no core file", not [name for name in os.listdir(".") if name.startswith("core")])


def new_files(folder):
    return [name for name in os.listdir(folder) if name.startswith(".dessec-")]


def signal_while_writing(number, env):
    """Sends the signal once the tool has named its new file and written to
    it; returns whether the file was there, and the tool's status."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen([TOOL, "des", "cbc", "-e", "--key-file", "des.key", "--binary", "--out", "out/data"],
                            stdin=read_end, stderr=subprocess.DEVNULL, env=env)
    os.close(read_end)
    os.write(write_end, b"attack at dawn\n" * 1024)
    end = time.monotonic() + 10
    while not new_files("out") and proc.poll() is None and time.monotonic() < end:
        time.sleep(0.01)
    named = bool(new_files("out"))
    proc.send_signal(number)
    try:
        status = proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        status = proc.wait()
    os.close(write_end)
    return named, status


# Where a folder takes no unnamed files, the new file has a name while it is
# written: whatever signal ends the tool, no plaintext stays under it.
preload = os.environ.get("DESSEC_TEST_NO_TMPFILE")
if preload:
    with tempfile.TemporaryDirectory() as work:
        os.chdir(work)
        with open("des.key", "w") as key:
            key.write("0123456789abcdef\n")
        os.mkdir("out")
        with open("out/data", "wb") as data:
            data.write(b"old\n")
        env = dict(os.environ, LD_PRELOAD=preload)
        for number in ending_signals():
            name = signal_name(number)
            named, status = signal_while_writing(number, env)
            check("%s while writing a named new file: it was there" % name, named)
            check("%s while writing ends the tool (status %s)" % (name, status), ended_by(status, number))
            left = new_files("out")
            check("%s while writing leaves no new file" % name, not left)
            for leftover in left:  # so that the next signal is checked on its own
                os.unlink(os.path.join("out", leftover))
            with open("out/data", "rb") as data:
                check("%s while writing leaves --out" % name, data.read() == b"old\n")
        os.chdir("/")
else:
    print("no preload refusing unnamed files: the named new file's signals not checked")


def verify_within(kib):
    """verify under an address-space limit of kib KiB: its status and stderr."""
    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (kib * 1024, kib * 1024))
    proc = subprocess.run([TOOL, "verify", "--stdin", "ab0ozUNIgzCZ."], input=b"hunter2\n", capture_output=True,
                          preexec_fn=limit, timeout=60)
    return proc.returncode, proc.stderr


# Memory that runs out anywhere, from the making of the tool's static objects
# on: one line and status 2 for verify, never an abort. Below the sweep the
# system cannot even load the tool.
if not os.environ.get("DESSEC_TEST_NO_MEMORY_LIMIT"):
    enough = next((kib for kib in range(4096, 262144, 1024) if verify_within(kib)[0] == 0), None)
    check("verify runs within 256 MiB", enough is not None)
    for kib in range(max(enough or 0, 4096) - 2048, enough or 0, 8):
        status, err = verify_within(kib)
        loaded = not err.startswith(TOOL.encode()) and b"TLS" not in err
        if loaded and status != 0:
            check("verify under %d KiB: status 2 and one line, got %d %r" % (kib, status, err),
                  status == 2 and err.startswith(b"dessec: ") and err.count(b"\n") == 1)

finish("process")

#!/usr/bin/env python3
"""process_test.py DESSEC: the tool as a process among others.

No core dump while it holds secrets, whatever the core size limit it was
given; a closed pipe on standard output is a write error with the command's
status, not a silent death by SIGPIPE.
"""
import os
import resource
import signal
import subprocess
import tempfile

from checks import TOOL, check, finish


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

finish("process")

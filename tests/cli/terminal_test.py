#!/usr/bin/env python3
"""terminal_test.py DESSEC: the password prompt on a pseudo-terminal.

The tool runs with the terminal as its controlling terminal and standard
input, and with stdout and stderr on pipes, so that what it prints and what
the terminal shows are told apart.
"""
import fcntl
import os
import resource
import select
import signal
import subprocess
import tempfile
import termios
import time

from checks import TOOL, check, ended_by, ending_signals, finish, signal_name


class Session:
    def __init__(self, *args, ignored=(), core=False):
        self.master, slave = os.openpty()

        def take_terminal():
            os.setsid()
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)
            for number in ignored:  # as nohup leaves SIGHUP
                signal.signal(number, signal.SIG_IGN)
            if core:  # as `ulimit -c unlimited` leaves it
                hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
                resource.setrlimit(resource.RLIMIT_CORE, (hard, hard))

        self.proc = subprocess.Popen([TOOL, *args], stdin=slave, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, preexec_fn=take_terminal)
        os.close(slave)
        self.shown = b""

    def read_until(self, text, timeout=5.0):
        end = time.monotonic() + timeout
        while text not in self.shown and time.monotonic() < end:
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if ready:
                try:
                    self.shown += os.read(self.master, 1024)
                except OSError:
                    break
        return text in self.shown

    def settle(self):
        time.sleep(0.3)
        self.read_until(b"\0", timeout=0.2)

    def echo_on(self):
        return bool(termios.tcgetattr(self.master)[3] & termios.ECHO)

    def type(self, text):
        os.write(self.master, text)

    def finish(self):
        out, err = self.proc.communicate(timeout=10)
        self.echo_after = self.echo_on()
        os.close(self.master)
        return self.proc.returncode, out, err


# No echo while typing; a whole exchange hashes the password typed twice.
s = Session("hash", "--salt", "ab")
check("prompt shown on the terminal", s.read_until(b"Password: "))
s.type(b"hunter2")
s.settle()
check("no echo while typing", b"hunter2" not in s.shown and not s.echo_on())
s.type(b"\n")
check("asked twice when creating", s.read_until(b"Verifying - Password: "))
s.type(b"hunter2\n")
status, out, _ = s.finish()
check("hash from the terminal", status == 0 and out == b"ab0ozUNIgzCZ.\n")
check("nothing typed reached the terminal", b"hunter2" not in s.shown)

# A different second password is refused.
s = Session("hash")
s.read_until(b"Password: ")
s.type(b"one\n")
s.read_until(b"Verifying")
s.type(b"two\n")
status, out, err = s.finish()
check("two different passwords refused", status == 1 and out == b"" and b"differ" in err)

# Ctrl-C, Ctrl-\ and SIGTERM at the prompt: the echo comes back, then the signal ends the tool.
for name, stop in (("Ctrl-C", lambda s: s.type(b"\x03")), ("Ctrl-\\", lambda s: s.type(b"\x1c")),
                   ("SIGQUIT", lambda s: s.proc.send_signal(signal.SIGQUIT)),
                   ("SIGTERM", lambda s: s.proc.send_signal(signal.SIGTERM))):
    s = Session("verify", "ab0ozUNIgzCZ.")
    s.read_until(b"Password: ")
    s.type(b"abc")
    s.settle()
    check(name + ": echo off before", not s.echo_on())
    stop(s)
    status, out, _ = s.finish()
    check(name + ": the signal ends the tool", status < 0)
    check(name + ": echo back after the signal", s.echo_after)

# Every signal that ends the tool gives the terminal its echo back first.
for number in ending_signals():
    s = Session("verify", "ab0ozUNIgzCZ.")
    s.read_until(b"Password: ")  # shown once the echo is off
    s.proc.send_signal(number)
    status, out, _ = s.finish()
    check("%s at the prompt ends the tool (status %s)" % (signal_name(number), status), ended_by(status, number))
    check("%s at the prompt: echo back after it" % signal_name(number), s.echo_after)

# Ctrl-\\ at the second prompt of seal, with no core size limit: the tool
# holds a password and a secret key, and dumps no core.
with tempfile.TemporaryDirectory() as work:
    os.chdir(work)
    with open("secret", "w") as secret:
        secret.write("411c97bc31347c8ccc060620df6e5520fe55fa114eef0bbf\n")
    s = Session("seal", "--secret-file", "secret", core=True)
    s.read_until(b"Password: ")
    s.type(b"hunter2\n")
    s.read_until(b"Verifying")
    s.type(b"\x1c")
    _, wait_status = os.waitpid(s.proc.pid, 0)
    s.proc.returncode = -signal.SIGQUIT
    os.close(s.master)
    check("Ctrl-\\ at a prompt ends the tool", os.WIFSIGNALED(wait_status))
    check("Ctrl-\\ at a prompt dumps no core", not os.WCOREDUMP(wait_status))
    check("and leaves no core file", not [name for name in os.listdir(".") if name.startswith("core")])
    os.chdir("/")

# Ctrl-Z: the tool leads its own session here, so the stop is discarded (an
# orphaned process group does not stop); the input must be hidden again after.
s = Session("verify", "ab0ozUNIgzCZ.")
s.read_until(b"Password: ")
s.type(b"\x1a")
s.settle()
check("Ctrl-Z: echo off again after it goes on", not s.echo_on())
s.type(b"hunter2\n")
status, out, _ = s.finish()
check("Ctrl-Z: the password is still read", status == 0 and out == b"match\n")

# A hang-up that the tool inherited as ignored stays ignored: the prompt waits on.
s = Session("verify", "ab0ozUNIgzCZ.", ignored=(signal.SIGHUP,))
s.read_until(b"Password: ")
s.proc.send_signal(signal.SIGHUP)
s.settle()
check("ignored SIGHUP: the tool still runs", s.proc.poll() is None)
s.type(b"hunter2\n")
status, out, _ = s.finish()
check("ignored SIGHUP: the password is still read", status == 0 and out == b"match\n")

# Ctrl-D at the prompt is no password: an error, nothing on stdout.
for args in (("verify", "ab0ozUNIgzCZ."), ("hash",)):
    s = Session(*args)
    s.read_until(b"Password: ")
    s.type(b"\x04")
    status, out, err = s.finish()
    check("Ctrl-D at the prompt of %s: non-zero status" % args[0], status not in (0, None))
    check("Ctrl-D at the prompt of %s: nothing on stdout" % args[0], out == b"")
    check("Ctrl-D at the prompt of %s: says so" % args[0], b"no password" in err)

finish("terminal")

"""What the tool's Python tests share: the tool under test, and checks
counted and reported as the shell tests do."""
import os
import signal
import sys

TOOL = os.path.abspath(sys.argv[1])
EMULATED = bool(os.environ.get("DESSEC_TEST_EMULATED"))
# Signals that a sanitizer may take over, and then end the tool with its own status.
SYNCHRONOUS = {signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGSYS, signal.SIGFPE, signal.SIGILL,
               signal.SIGTRAP}
_failures = 0


def check(what, condition):
    global _failures
    if not condition:
        _failures += 1
        print("FAIL:", what)


def finish(name):
    print("%s: %d failed" % (name, _failures))
    sys.exit(1 if _failures else 0)


def ending_signals():
    """Every signal whose default action ends a process, bar SIGKILL and
    SIGPIPE (which the tool ignores); under an emulator, those it delivers."""
    names = ["SIGHUP", "SIGINT", "SIGQUIT", "SIGTERM", "SIGALRM", "SIGUSR1", "SIGUSR2", "SIGXCPU", "SIGXFSZ",
             "SIGVTALRM", "SIGPROF", "SIGIO", "SIGPWR", "SIGSTKFLT"]
    found = [getattr(signal, name) for name in names if hasattr(signal, name)]
    if EMULATED:
        return found
    return found + sorted(SYNCHRONOUS) + list(range(signal.SIGRTMIN, signal.SIGRTMAX + 1))


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return "SIGRTMIN+%d" % (number - signal.SIGRTMIN)


def ended_by(status, number):
    """The tool ended by the signal, or by a sanitizer's report of it."""
    return status == -number or (number in SYNCHRONOUS and status not in (0, None))

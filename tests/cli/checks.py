"""What the tool's Python tests share: the tool under test, and checks
counted and reported as the shell tests do."""
import os
import signal
import sys

import groups

TOOL = os.path.abspath(sys.argv[1])
EMULATED = bool(os.environ.get("DESSEC_TEST_EMULATED"))
# Signals that a sanitizer may take over, and then end the tool with its own status.
SYNCHRONOUS = {signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGSYS, signal.SIGFPE, signal.SIGILL,
               signal.SIGTRAP}
_failures = 0
# With DESSEC_CHECK_LOG, each check's outcome also goes to the log of its
# group, found by the line of the script's statement that made it.
_LOG = os.environ.get("DESSEC_CHECK_LOG")
_SCRIPT = os.path.abspath(sys.argv[0])
_GROUPS = groups.group_lines(_SCRIPT) if _LOG else []


def _statement_line():
    frame = sys._getframe(2)
    line = frame.f_lineno
    while frame:
        if frame.f_code.co_filename == _SCRIPT and frame.f_code.co_name == "<module>":
            line = frame.f_lineno
        frame = frame.f_back
    return line


def check(what, condition):
    global _failures
    if not condition:
        _failures += 1
        print("FAIL:", what)
    if _LOG:
        groups.record(_LOG, groups.group_of(_GROUPS, _statement_line()), bool(condition), what)


def finish(name):
    print("%s: %d failed" % (name, _failures))
    if _LOG:
        open(os.path.join(_LOG, "finished"), "w").close()
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

"""What the tool's Python tests share: the tool under test, and checks
counted and reported as the shell tests do."""
import os
import sys

TOOL = os.path.abspath(sys.argv[1])
_failures = 0


def check(what, condition):
    global _failures
    if not condition:
        _failures += 1
        print("FAIL:", what)


def finish(name):
    print("%s: %d failed" % (name, _failures))
    sys.exit(1 if _failures else 0)

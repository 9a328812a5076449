"""python -m dessec audit FILE | wrap FILE --out NEW: a whole table of
stored hashes at once, under a policy of --scheme and --cost."""

from __future__ import annotations

import argparse
import os
import sys
from typing import List, Optional

from ._errors import Error
from ._policy import Policy
from ._schemes import ALIASES, TARGETS
from ._table import audit, create_exclusive, under_etc, wrapped_lines


# Not the docstring, which "python -OO" strips.
_DESCRIPTION = "a whole table of stored hashes at once, under a policy of --scheme and --cost."


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="python -m dessec", description=_DESCRIPTION)
    commands = parser.add_subparsers(dest="command", required=True)
    for name, summary in (("audit", "count the entries of each scheme and those the policy would update"),
                          ("wrap", "copy FILE to NEW with every hash that the policy would update wrapped")):
        command = commands.add_parser(name, help=summary, description=summary)
        command.add_argument("file", metavar="FILE", help='lines of "name:hash[:...]" or of one hash each')
        command.add_argument("--scheme", default="yescrypt", choices=TARGETS + tuple(ALIASES), help="the target scheme")
        command.add_argument("--cost", type=int, help="the target's cost (default: the scheme's)")
        if name == "wrap":
            command.add_argument("--out", required=True, metavar="NEW", help="the copy, created with mode 0600")
            command.add_argument("--jobs", type=int, default=os.cpu_count() or 1,
                                 help="threads that hash (default: the processor count)")
    return parser


def _audit(policy: Policy, lines: List[bytes]) -> None:
    print(f"{'scheme':16} {'entries':>9} {'to update':>10}")
    for name, (entries, to_update) in audit(policy, lines).items():
        print(f"{name:16} {entries:9} {to_update if name != 'none' else '-':>10}")


def _wrap(policy: Policy, lines: List[bytes], out: str, jobs: int) -> None:
    if jobs < 1:
        raise ValueError("--jobs must be at least 1")
    if under_etc(out):
        raise ValueError(f"{out!r} lies under /etc: the system's login cannot verify wrapped hashes")
    descriptor = create_exclusive(out)
    try:
        with os.fdopen(descriptor, "wb") as new:
            for line in wrapped_lines(policy, lines, jobs, progress=sys.stderr.isatty() or len(lines) > 1000):
                new.write(line)
    except BaseException:
        os.unlink(out)
        raise


def main(argv: Optional[List[str]] = None) -> int:
    arguments = _parser().parse_args(argv)
    try:
        policy = Policy(arguments.scheme, cost=arguments.cost)
        with open(arguments.file, "rb") as table:
            lines = table.readlines()
        if arguments.command == "audit":
            _audit(policy, lines)
        else:
            _wrap(policy, lines, arguments.out, arguments.jobs)
    except (OSError, ValueError, Error) as error:
        print(f"python -m dessec {arguments.command}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

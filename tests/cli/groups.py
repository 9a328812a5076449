#!/usr/bin/env python3
"""groups.py: the groups of checks in the tool's test scripts, as CTest runs them.

A shell script's groups begin at its "# --- Title" lines; a Python script's
at a comment that follows a blank line and stands before a statement (not a
def or a class) at its own indentation. A check belongs to the group in which
the script's top-level statement that made it stands; checks before the first
group belong to the first. A group is named by its title up to the first
punctuation, in lower case with underscores.

  groups.py list SCRIPT         the group names, one a line
  groups.py lines SCRIPT        each group's first line and name
  groups.py run DIR COMMAND...  runs a script with DESSEC_CHECK_LOG=DIR, where
                                check() writes each group's outcomes; fails only
                                when the script stopped before its end
                                (group_result.cmake reports each group)
"""
import os
import re
import shutil
import subprocess
import sys

SHELL_MARK = re.compile(r"^# --- (.*)$")
PYTHON_MARK = re.compile(r"^( {0,4})# (.*)$")


def python_marks(lines):
    for number, line in enumerate(lines):
        mark = PYTHON_MARK.match(line)
        if not mark or number == 0 or lines[number - 1].strip():
            continue
        following = next((l for l in lines[number + 1:] if l.strip() and not l.lstrip().startswith("#")), "")
        indent = len(following) - len(following.lstrip())
        if indent == len(mark.group(1)) and not re.match(r"\s*(def|class|@)\b", following):
            yield number + 1, mark.group(2)


def group_lines(script):
    """(first line, name) of each group of SCRIPT, in order."""
    with open(script, encoding="utf-8") as text:
        lines = text.read().splitlines()
    if script.endswith(".py"):
        marks = list(python_marks(lines))
    else:
        marks = [(n + 1, m.group(1)) for n, m in ((n, SHELL_MARK.match(l)) for n, l in enumerate(lines)) if m]
    groups, seen = [], set()
    for first, title in marks:
        words = re.sub(r"[^a-z0-9]+", " ", re.split(r"[:,;.(]", title)[0].lower()).split()
        name = "_".join(words[:6]) or "group"
        unique, count = name, 1
        while unique in seen:
            count += 1
            unique = "%s_%d" % (name, count)
        seen.add(unique)
        groups.append((first, unique))
    return groups or [(1, "all")]


def group_of(groups, line):
    name = groups[0][1]
    for first, group in groups:
        if first <= line:
            name = group
    return name


def record(directory, group, passed, text):
    """Appends a check's outcome to its group's log."""
    with open(os.path.join(directory, group + ".log"), "a", encoding="utf-8", errors="replace") as log:
        log.write(("ok: " if passed else "FAIL: ") + text + "\n")


def run(directory, command):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    status = subprocess.call(command, env=dict(os.environ, DESSEC_CHECK_LOG=directory))
    if os.path.exists(os.path.join(directory, "finished")):
        return 0
    print("the script stopped before its end (status %d)" % status)
    return status or 1


def main(args):
    if args[0] == "list":
        print("\n".join(name for _, name in group_lines(args[1])))
    elif args[0] == "lines":
        print("\n".join("%d %s" % group for group in group_lines(args[1])))
    elif args[0] == "run":
        return run(args[1], args[2:])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

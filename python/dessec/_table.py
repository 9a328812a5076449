"""A table of stored hashes: lines of "name:hash[:...]" (passwd and shadow
layouts) or of one hash each, read and rewritten byte for byte."""

from __future__ import annotations

import math
import os
import sys
import time
from collections import Counter
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, Iterator, List, Optional, Tuple

from ._policy import Policy
from ._schemes import scheme_of, stored_text

_MAX_CHUNK = 256  # lines handed to a worker at a time, at most
_CHUNKS_PER_JOB = 4  # so that workers that finish early take more
_PROGRESS_SECONDS = 1.0


def _hash_field(line: bytes) -> Tuple[int, int]:
    """Where the hash lies in a line: (start, end), its line ending excluded."""
    end = len(line.rstrip(b"\r\n"))
    first = line.find(b":", 0, end)
    if first < 0:
        return 0, end
    second = line.find(b":", first + 1, end)
    return first + 1, end if second < 0 else second


def _stored(line: bytes) -> Optional[str]:
    start, end = _hash_field(line)
    return stored_text(line[start:end])


def audit(policy: Policy, lines: List[bytes]) -> Dict[str, Tuple[int, int]]:
    """Per scheme ("none" for the lines of none): (entries, to update)."""
    entries: Counter[str] = Counter()
    to_update: Counter[str] = Counter()
    for line in lines:
        text = _stored(line)
        scheme = scheme_of(text)
        name = scheme.name if scheme else "none"
        entries[name] += 1
        to_update[name] += scheme is not None and policy.needs_update(text)
    return {name: (entries[name], to_update[name]) for name in sorted(entries)}


def _wrapped_line(policy: Policy, line: bytes) -> bytes:
    text = _stored(line)
    scheme = scheme_of(text)
    if scheme is None or scheme.name == "dessec_wrapped" or not policy.needs_update(text):
        return line
    start, end = _hash_field(line)
    return line[:start] + policy.wrap(text).encode("ascii") + line[end:]


def _wrapped_chunk(policy: Policy, chunk: List[bytes]) -> List[bytes]:
    return [_wrapped_line(policy, line) for line in chunk]


def wrapped_lines(policy: Policy, lines: List[bytes], jobs: int, progress: bool) -> Iterator[bytes]:
    """Every line, with each hash that the policy would update wrapped, in
    order; the system's crypt library runs outside the interpreter lock, so
    `jobs` threads hash in parallel. Progress goes to standard error."""
    # Even a small table is spread over every job.
    size = max(1, min(_MAX_CHUNK, math.ceil(len(lines) / (_CHUNKS_PER_JOB * jobs))))
    chunks = [lines[start : start + size] for start in range(0, len(lines), size)]
    done, reported = 0, time.monotonic()
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        for chunk in pool.map(lambda chunk: _wrapped_chunk(policy, chunk), chunks):
            yield from chunk
            done += len(chunk)
            if progress and time.monotonic() - reported >= _PROGRESS_SECONDS:
                reported = time.monotonic()
                print(f"dessec wrap: {done} of {len(lines)} lines", file=sys.stderr, flush=True)


def under_etc(path: str) -> bool:
    """Whether path, its folder resolved, lies in /etc, where the system's
    login reads hashes that it could not verify once wrapped."""
    folder = os.path.realpath(os.path.dirname(os.path.abspath(path)))
    return os.path.commonpath([folder, "/etc"]) == "/etc"


def create_exclusive(path: str) -> int:
    """A new file of mode 0600, never one that exists (nor a link's target)."""
    descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0), 0o600)
    os.fchmod(descriptor, 0o600)
    return descriptor

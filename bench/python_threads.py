#!/usr/bin/env python3
"""python_threads.py [THREADS]: the Python package's calls from 1 and from
THREADS threads (default: the processor count), as calls per second.

The library's calls and the system's crypt library run outside the
interpreter lock, so the rate grows with the threads up to the cores. Run it
with DESSEC_LIBRARY naming the library and python/ on PYTHONPATH.
"""

import os
import sys
import threading
import time

import dessec

SECONDS = 2.0
KEY, DATA = bytes(8), bytes(8192)
POLICY = dessec.Policy("yescrypt", cost=1)
STORED = POLICY.hash("password")
CALLS = {
    "des_ecb 8 KiB": lambda: dessec.des_ecb(KEY, DATA),
    "crypt _ 4096 rounds": lambda: dessec.crypt("password", "_/.0.salt"),
    "dh 192-bit": lambda: dessec.dh(dessec.BASE, "f" * 48, dessec.MODULUS),
    "Policy.verify yescrypt cost 1": lambda: POLICY.verify("password", STORED),
}


def rate(call, threads: int) -> float:
    """Calls per second of `threads` threads calling for SECONDS."""
    counts = [0] * threads
    stop = time.monotonic() + SECONDS

    def run(index: int) -> None:
        while time.monotonic() < stop:
            call()
            counts[index] += 1

    workers = [threading.Thread(target=run, args=(index,)) for index in range(threads)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    return sum(counts) / SECONDS


def main() -> None:
    threads = int(sys.argv[1]) if len(sys.argv) > 1 else os.cpu_count() or 1
    print(f"{'call':32} {'1 thread/s':>12} {f'{threads} threads/s':>14} {'speed-up':>9}")
    for name, call in CALLS.items():
        one, many = rate(call, 1), rate(call, threads)
        print(f"{name:32} {one:12.0f} {many:14.0f} {many / one:9.2f}")


if __name__ == "__main__":
    main()

"""Shared pieces of the Python package's tests: the known-answer files of the
C tests, and the system's crypt library as the reference for new hashes.

Run with DESSEC_LIBRARY naming the library under test and the package's
folder (python/) on PYTHONPATH, as the CTest test `python` does.
"""

import ctypes
import threading
from pathlib import Path
from typing import Dict, List

from hypothesis import settings

SOURCE = Path(__file__).resolve().parents[2]

# Repeatable runs that time nothing and leave no example database behind.
settings.register_profile("dessec", deadline=None, database=None, derandomize=True, max_examples=60)
settings.load_profile("dessec")


def read_vectors(name: str) -> List[Dict[str, str]]:
    """The records of tests/vectors/NAME: "key = value" lines, blank lines between records."""
    records: List[Dict[str, str]] = [{}]
    for line in (SOURCE / "tests" / "vectors" / name).read_text().splitlines():
        line = line.strip()
        if not line:
            if records[-1]:
                records.append({})
        elif not line.startswith("#"):
            key, _, value = line.partition("=")
            records[-1][key.strip()] = value.strip()
    return [record for record in records if record]


def header_macros() -> Dict[str, str]:
    """The #define NAME VALUE lines of include/dessec.h, quotes removed."""
    macros = {}
    for line in (SOURCE / "include" / "dessec.h").read_text().splitlines():
        parts = line.split(None, 3)
        if len(parts) >= 3 and parts[0] == "#define":
            macros[parts[1]] = parts[2].strip('"')
    return macros


_libcrypt = ctypes.CDLL("libcrypt.so.1")
_libcrypt.crypt.restype = ctypes.c_char_p
_libcrypt.crypt.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libcrypt_lock = threading.Lock()


def system_crypt(password: str, setting: str) -> str:
    """crypt(3) of the system's library, the reference for the hashes dessec asks it for."""
    with _libcrypt_lock:
        result = _libcrypt.crypt(password.encode(), setting.encode())
    return result.decode() if result else ""

"""Shared pieces of the Python package's tests: the known-answer files of the
C tests, and the system's crypt library as the reference for new hashes.

Run with DESSEC_LIBRARY naming the library under test and the package's
folder (python/) on PYTHONPATH, as the CTest test `python` does.
"""

import ctypes
import re
import threading
from pathlib import Path
from typing import Dict, List, Union

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


def header_macros() -> Dict[str, Union[int, str]]:
    """The #define NAME VALUE lines of include/dessec.h whose value is a
    number or a quoted text."""
    macros: Dict[str, Union[int, str]] = {}
    header = (SOURCE / "include" / "dessec.h").read_text()
    for name, value in re.findall(r'^#define (DESSEC_\w+) +(-?\d+|"[^"]*")', header, re.M):
        macros[name] = value.strip('"') if value.startswith('"') else int(value)
    return macros


_libcrypt = ctypes.CDLL("libcrypt.so.1")
_libcrypt.crypt.restype = ctypes.c_char_p
_libcrypt.crypt.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libcrypt.crypt_gensalt.restype = ctypes.c_char_p
_libcrypt.crypt_gensalt.argtypes = [ctypes.c_char_p, ctypes.c_ulong, ctypes.c_char_p, ctypes.c_int]
_libcrypt_lock = threading.Lock()


def system_crypt(password: str, setting: str) -> str:
    """crypt(3) of the system's library, the reference for the hashes dessec asks it for."""
    with _libcrypt_lock:
        result = _libcrypt.crypt(password.encode(), setting.encode())
    return result.decode() if result else ""


def system_setting(prefix: str, count: int = 0) -> str:
    """crypt_gensalt(3) of the system's library."""
    with _libcrypt_lock:
        return _libcrypt.crypt_gensalt(prefix.encode(), count, None, 0).decode()

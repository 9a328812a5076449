"""Finding and loading the dessec library, with the prototypes of its calls.

The library is loaded with ctypes.CDLL, whose calls release the interpreter
lock, so that threads call it in parallel.
"""

from __future__ import annotations

import ctypes
import os
import sys
from typing import Dict, List, Tuple

ENVIRONMENT_VARIABLE = "DESSEC_LIBRARY"

# The name under which the system's loader finds the library: the soname on
# POSIX systems, the DLL on Windows.
SYSTEM_NAME = "dessec.dll" if sys.platform == "win32" else "libdessec.so.0"

_text = ctypes.c_char_p  # read only: bytes, NUL-terminated by Python
_buffer = ctypes.POINTER(ctypes.c_char)  # written: a ctypes array of ours, never bytes
_int = ctypes.c_int
_uint = ctypes.c_uint

_PROTOTYPES: Dict[str, Tuple[object, List[object]]] = {
    "ecb_crypt": (_int, [_buffer, _buffer, _uint, _uint]),
    "cbc_crypt": (_int, [_buffer, _buffer, _uint, _uint, _buffer]),
    "des_setparity": (None, [_buffer]),
    "hex2bin": (None, [_int, _text, _buffer]),
    "bin2hex": (None, [_int, _text, _buffer]),
    "xencrypt": (_int, [_buffer, _text]),
    "xdecrypt": (_int, [_buffer, _text]),
    "decrypt_secret_key": (_int, [_buffer, _text]),
    "dh": (None, [_buffer, _buffer, _buffer, _buffer]),
    "dh_keysGenerator": (_int, [_buffer, _buffer]),
    # c_char_p copies the text out at once, in the calling thread, before its
    # next call can overwrite it.
    "passwd_crypt": (ctypes.c_char_p, [_text, _text]),
    "passwd_verify": (_int, [_text, _text]),
    "passwd_saltgen": (_int, [_buffer]),
}


def _candidates() -> List[Tuple[str, str]]:
    """(path or name, how it was found) to try, in order."""
    path = os.environ.get(ENVIRONMENT_VARIABLE, "")
    if path:
        # A library named on purpose is the only one tried: falling back to
        # another would hide the mistake.
        return [(path, f"{ENVIRONMENT_VARIABLE}={path}")]
    return [(SYSTEM_NAME, f"the system's loader: {SYSTEM_NAME}")]


def _declare(library: ctypes.CDLL, where: str) -> None:
    for name, (restype, argtypes) in _PROTOTYPES.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            raise ImportError(f"dessec: {where} is not the dessec library: it has no {name}") from None
        function.restype = restype
        function.argtypes = argtypes


def load() -> ctypes.CDLL:
    """The library, from DESSEC_LIBRARY when set, else from the system's loader."""
    failures = []
    for name, where in _candidates():
        try:
            library = ctypes.CDLL(name)
        except OSError as error:
            failures.append(f"{where} ({error})")
            continue
        _declare(library, where)
        return library
    raise ImportError(
        "dessec: cannot load the dessec library; tried "
        + "; ".join(failures)
        + f". Install it (libdessec0), or set {ENVIRONMENT_VARIABLE} to its path."
    )


LIBRARY = load()

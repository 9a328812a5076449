"""The system's crypt library (libcrypt), which makes and checks the hashes
that dessec leaves to it: every scheme but dessec's own three forms.

Loaded at its first use, so that dessec imports where there is none.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import hmac
import threading
from typing import List, Optional

from ._arguments import wipe
from ._errors import LibraryError

# sizeof(struct crypt_data): 32768 in libxcrypt, which crypt_rn checks; glibc's
# own older libcrypt has only crypt_r and a struct of 131232 bytes.
_CRYPT_RN_DATA_SIZE = 32768
_CRYPT_R_DATA_SIZE = 131232
_GENSALT_OUTPUT_SIZE = 192  # CRYPT_GENSALT_OUTPUT_SIZE


class SystemCrypt:
    """crypt_rn (or crypt_r) and crypt_gensalt_rn, each call with data of its own."""

    def __init__(self, library: ctypes.CDLL) -> None:
        # crypt_rn takes the size of its data as a fourth argument; crypt_r does not.
        self._sized = hasattr(library, "crypt_rn")
        self._crypt = library.crypt_rn if self._sized else library.crypt_r
        self._crypt.restype = ctypes.c_char_p
        self._crypt.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p] + [ctypes.c_int] * self._sized
        self._data_size = _CRYPT_RN_DATA_SIZE if self._sized else _CRYPT_R_DATA_SIZE
        self._gensalt_rn = getattr(library, "crypt_gensalt_rn", None)
        if self._gensalt_rn is not None:
            self._gensalt_rn.restype = ctypes.c_void_p
            self._gensalt_rn.argtypes = [ctypes.c_char_p, ctypes.c_ulong, ctypes.c_char_p, ctypes.c_int,
                                         ctypes.c_void_p, ctypes.c_int]

    def hash(self, password: bytes, setting: bytes) -> Optional[bytes]:
        """The hash of password under setting, or None when the library refuses."""
        data = ctypes.create_string_buffer(self._data_size)
        size = (self._data_size,) if self._sized else ()
        try:
            result: Optional[bytes] = self._crypt(password, setting, data, *size)
        finally:
            wipe(data)
        # Failures are a null pointer or, from crypt_r, a text beginning with "*".
        return None if not result or result.startswith(b"*") else result

    def matches(self, password: bytes, stored: bytes) -> bool:
        """Whether password hashes to stored, compared in constant time."""
        computed = self.hash(password, stored)
        return computed is not None and hmac.compare_digest(computed, stored)

    def new_setting(self, prefix: bytes, count: int = 0) -> bytes:
        """A setting of the scheme of prefix with a fresh salt from the system's
        random source, at cost count (0: the library's default)."""
        if self._gensalt_rn is None:
            raise LibraryError("the system's crypt library makes no settings: it has no crypt_gensalt_rn")
        out = ctypes.create_string_buffer(_GENSALT_OUTPUT_SIZE)
        if not self._gensalt_rn(prefix, count, None, 0, out, _GENSALT_OUTPUT_SIZE):
            raise LibraryError(f"the system's crypt library makes no {prefix.decode()} settings of cost {count}")
        return out.value


_lock = threading.Lock()
_loaded: Optional[SystemCrypt] = None


def _load() -> SystemCrypt:
    tried: List[str] = []
    for name in ("libcrypt.so.1", ctypes.util.find_library("crypt")):
        if name and name not in tried:
            tried.append(name)
            try:
                library = ctypes.CDLL(name)
            except OSError:
                continue
            if hasattr(library, "crypt_rn") or hasattr(library, "crypt_r"):
                return SystemCrypt(library)
    raise LibraryError(f"no system crypt library with crypt_rn or crypt_r (tried {', '.join(tried)})")


def system_crypt() -> SystemCrypt:
    """The system's crypt library, loaded once. LibraryError when there is none."""
    global _loaded
    with _lock:
        if _loaded is None:
            _loaded = _load()
        return _loaded

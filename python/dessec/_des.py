"""DES blocks: ecb_crypt, cbc_crypt and des_setparity."""

from __future__ import annotations

import ctypes
from typing import Callable, Iterator, Tuple

from ._arguments import Data, data_bytes, flag, sized_bytes, wipe, writable
from ._errors import LibraryError
from ._library import LIBRARY
from ._limits import DES_KEY_SIZE, DES_MAX_LEN

_MODE_ENCRYPT = 0
_MODE_DECRYPT = 1
_STATUS_DONE = 1  # the status of a completed request without des_mode_report_ok


def _key(key: Data) -> ctypes.Array[ctypes.c_char]:
    return writable(sized_bytes(key, DES_KEY_SIZE, "key"), DES_KEY_SIZE)


def _blocks(data: Data) -> bytes:
    blocks = data_bytes(data, "data")
    if len(blocks) % DES_KEY_SIZE:
        raise ValueError(f"data must be a multiple of {DES_KEY_SIZE} bytes, not {len(blocks)}")
    return blocks


def _mode(decrypt: bool) -> int:
    return _MODE_DECRYPT if flag(decrypt, "decrypt") else _MODE_ENCRYPT


def _requests(blocks: bytes) -> Iterator[bytes]:
    """The data in pieces of at most the longest request."""
    for start in range(0, len(blocks), DES_MAX_LEN):
        yield blocks[start : start + DES_MAX_LEN]


def _transform(blocks: bytes, request: Callable[[ctypes.Array[ctypes.c_char], int], int]) -> bytes:
    """The blocks through `request`(buffer, length), one request at a time."""
    out = bytearray()
    for piece in _requests(blocks):
        buffer = writable(piece, len(piece))
        status = request(buffer, len(piece))
        # The lengths are checked beforehand and the block engine cannot
        # fail: another status means a library that breaks its contract.
        if status != _STATUS_DONE:
            raise LibraryError(f"the DES request failed with status {status}")
        out += buffer.raw
        wipe(buffer)
    return bytes(out)


def des_ecb(key: Data, data: Data, *, decrypt: bool = False) -> bytes:
    """Single DES in electronic codebook mode (ecb_crypt).

    key is 8 bytes (bit 0 of each byte is parity and ignored); data is a
    multiple of 8 bytes, of any length. Returns the encrypted data, or the
    decrypted data with decrypt=True. ValueError for a wrong length.
    """
    key_buffer = _key(key)
    blocks = _blocks(data)
    mode = _mode(decrypt)
    try:
        return _transform(blocks, lambda piece, length: int(LIBRARY.ecb_crypt(key_buffer, piece, length, mode)))
    finally:
        wipe(key_buffer)


def des_cbc(key: Data, data: Data, iv: Data, *, decrypt: bool = False) -> Tuple[bytes, bytes]:
    """Single DES in cipher block chaining mode (cbc_crypt).

    key and iv are 8 bytes each; data is a multiple of 8 bytes, of any
    length. Returns (data, next_iv): next_iv is the last ciphertext block
    (iv itself for empty data), so that passing it to the next call chains
    the two calls like one.
    """
    key_buffer = _key(key)
    vector = writable(sized_bytes(iv, DES_KEY_SIZE, "iv"), DES_KEY_SIZE)
    blocks = _blocks(data)
    mode = _mode(decrypt)
    try:
        out = _transform(blocks, lambda piece, length: int(LIBRARY.cbc_crypt(key_buffer, piece, length, mode, vector)))
    finally:
        wipe(key_buffer)
    return out, vector.raw


def des_setparity(key: Data) -> bytes:
    """The 8 key bytes with odd parity in bit 0 and bit 7 cleared (des_setparity)."""
    key_buffer = _key(key)
    LIBRARY.des_setparity(key_buffer)
    result = key_buffer.raw
    wipe(key_buffer)
    return result

"""Hex texts and secrets under a password: hex2bin, bin2hex, xencrypt,
xdecrypt and decrypt_secret_key."""

from __future__ import annotations

import ctypes
from typing import Callable

from ._arguments import HEX_DIGITS, Data, Password, ascii_text, data_bytes, password_bytes, wipe, writable
from ._errors import WrongPassword
from ._library import LIBRARY
from ._limits import HEX_MAX_DIGITS, RECORD_DIGITS, SECRET_KEY_DIGITS

# Bytes per hex2bin or bin2hex call: the count is a C int.
_CODEC_PIECE = 1 << 20
# xencrypt and xdecrypt take whole DES blocks of 16 digits, and one last odd
# character, which they drop.
_BLOCK_DIGITS = 16


def hex2bin(text: str) -> bytes:
    """The bytes of a hex text (hex2bin), read as the library reads stored texts.

    Digits of either case; other ASCII characters are converted, not refused
    (a letter past "f" counts on from 16; any other character is worth 255),
    and a last odd character is dropped, as xencrypt drops it. ValueError for
    a NUL or a character outside ASCII.
    """
    digits = ascii_text(text, "text")
    out = bytearray()
    for start in range(0, len(digits) // 2, _CODEC_PIECE):
        piece = digits[2 * start : 2 * (start + _CODEC_PIECE)]
        count = len(piece) // 2
        buffer = writable(b"", count)
        LIBRARY.hex2bin(count, piece, buffer)
        out += buffer.raw
    return bytes(out)


def bin2hex(data: Data) -> str:
    """The bytes as lower-case hex digits, two per byte (bin2hex)."""
    raw = data_bytes(data, "data")
    out = []
    for start in range(0, len(raw), _CODEC_PIECE):
        piece = raw[start : start + _CODEC_PIECE]
        buffer = writable(b"", 2 * len(piece) + 1)
        LIBRARY.bin2hex(len(piece), piece, buffer)
        out.append(buffer.raw[: 2 * len(piece)].decode("ascii"))
    return "".join(out)


def _hex_secret_length(digits: bytes, name: str) -> None:
    length = len(digits)
    if length % _BLOCK_DIGITS > 1 or length > HEX_MAX_DIGITS + 1:
        raise ValueError(
            f"{name} must have 16k or 16k+1 characters, at most {HEX_MAX_DIGITS + 1}; this one has {length}"
        )


def _crypt_hex_secret(
    call: Callable[[ctypes.Array[ctypes.c_char], bytes], int], text: str, password: Password, name: str
) -> str:
    digits = ascii_text(text, "text")
    key = password_bytes(password)
    _hex_secret_length(digits, "text")
    buffer = writable(digits, len(digits) + 1)
    try:
        if call(buffer, key) != 1:
            raise ValueError(f"{name} refused a text of {len(digits)} characters")
        return buffer.value.decode("ascii")
    finally:
        wipe(buffer)


def xencrypt(text: str, password: Password) -> str:
    """A hex text encrypted under a password (xencrypt): DES-CBC from a zero
    vector under a key made from the first 8 characters of the password.

    The text has 16k or 16k+1 hex digits of either case (k up to 1024); a
    last odd character is dropped. Returns lower-case digits. ValueError for
    another length or a character that is not a hex digit, which the library
    would read as another digit, so that the text would not come back.
    """
    if isinstance(text, str) and not HEX_DIGITS.issuperset(text):
        raise ValueError("text holds a character that is not a hex digit")
    return _crypt_hex_secret(LIBRARY.xencrypt, text, password, "xencrypt")


def xdecrypt(text: str, password: Password) -> str:
    """A hex text decrypted under a password (xdecrypt); as xencrypt, but
    other characters are read as hex2bin reads them, as the library reads
    stored texts."""
    return _crypt_hex_secret(LIBRARY.xdecrypt, text, password, "xdecrypt")


def decrypt_secret_key(record: str, password: Password) -> str:
    """The 48-digit secret key of a secret-key record (decrypt_secret_key).

    record is the 64 encrypted digits that xencrypt made of the secret key
    followed by its first 16 digits (further whole blocks are allowed).
    WrongPassword (a ValueError) when the password does not open the record or
    the record is damaged; ValueError for a record of a length that no record has.
    """
    digits = ascii_text(record, "record")
    key = password_bytes(password)
    if len(digits) < RECORD_DIGITS:
        raise ValueError(f"a secret-key record has {RECORD_DIGITS} digits; this one has {len(digits)}")
    _hex_secret_length(digits, "record")
    buffer = writable(digits, len(digits) + 1)
    try:
        if LIBRARY.decrypt_secret_key(buffer, key) != 1:
            raise WrongPassword("the password does not open this secret-key record, or the record is damaged")
        return buffer.raw[:SECRET_KEY_DIGITS].decode("ascii")
    finally:
        wipe(buffer)

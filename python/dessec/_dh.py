"""Diffie-Hellman in the library's fixed group: dh, dh_keysGenerator and the
common key of two parties."""

from __future__ import annotations

from typing import Tuple

from ._arguments import HEX_DIGITS, ascii_text, wipe, writable
from ._errors import LibraryError
from ._library import LIBRARY
from ._limits import DH_BASE, DH_MODULUS, DH_OUT_BUFFER, KEY_BUFFER, SECRET_KEY_DIGITS

MODULUS = DH_MODULUS
"""The group's 192-bit modulus as lower-case hex text."""
BASE = DH_BASE
"""The group's base, 3, as hex text."""

_NUMBER_BITS = 200  # the library's numbers are 25 bytes wide


def _value_as_read(text: bytes) -> int:
    """The number that the library reads from a text: each character shifts
    the number 4 bits up and is OR-ed in as (c | 0x20) - 0x30, less a further
    0x27 above 0x60, on 8 bits; bits above the width are lost."""
    value = 0
    for c in text:
        c |= 0x20
        digit = (c - 0x30 - (0x27 if c > 0x60 else 0)) & 0xFF
        value = ((value << 4) & ((1 << _NUMBER_BITS) - 1)) | digit
    return value


def dh(base: str, exponent: str, modulus: str) -> str:
    """base ** exponent mod modulus on hex texts, as the library computes it (dh).

    Digits of either case; only the last 50 digits of each text count, and
    other characters are read as the library reads them. Returns upper-case
    hex without leading zero bytes, and "" for a zero result. ValueError for
    a modulus below 2 ("", "0" and "1" among them), whose results mean nothing.
    """
    encoded = (ascii_text(base, "base"), ascii_text(exponent, "exponent"), ascii_text(modulus, "modulus"))
    if _value_as_read(encoded[2]) < 2:
        raise ValueError("modulus must be at least 2")
    # Writable copies: dh lower-cases its texts in place.
    texts = [writable(text, len(text) + 1) for text in encoded]
    out = writable(b"", DH_OUT_BUFFER)
    try:
        LIBRARY.dh(texts[0], texts[1], texts[2], out)
        return out.value.decode("ascii")
    finally:
        for text in (*texts, out):
            wipe(text)


def generate_keys() -> Tuple[str, str]:
    """A new key pair of the group (dh_keysGenerator): (secret key, public key).

    The secret key has 48 lower-case hex digits, from a secure random
    generator; the public key is BASE ** secret mod MODULUS in lower case.
    dessec.LibraryError (an OSError) when the library cannot make them.
    """
    secret = writable(b"", KEY_BUFFER)
    public = writable(b"", KEY_BUFFER)
    try:
        if LIBRARY.dh_keysGenerator(secret, public) != 0:
            raise LibraryError("could not make a key pair")
        return secret.value.decode("ascii"), public.value.decode("ascii")
    finally:
        wipe(secret)


def _hex_number(text: str, name: str, min_digits: int) -> int:
    if not isinstance(text, str):
        raise TypeError(f"{name} must be str, not {type(text).__name__}")
    if not min_digits <= len(text) <= SECRET_KEY_DIGITS or not HEX_DIGITS.issuperset(text):
        digits = SECRET_KEY_DIGITS if min_digits == SECRET_KEY_DIGITS else f"{min_digits} to {SECRET_KEY_DIGITS}"
        raise ValueError(f"{name} must be {digits} hex digits")
    return int(text, 16)


def common_key(public_key: str, secret_key: str) -> str:
    """The common key of the other party's public key and the own secret key:
    public_key ** secret_key mod MODULUS, in upper-case hex as dh writes it.

    public_key is 1 to 48 hex digits of a value from 2 to MODULUS - 2 (others
    would give a predictable key); secret_key is 48 hex digits, as
    generate_keys makes it. ValueError otherwise.
    """
    peer = _hex_number(public_key, "public_key", 1)
    _hex_number(secret_key, "secret_key", SECRET_KEY_DIGITS)
    if not 2 <= peer <= int(MODULUS, 16) - 2:
        raise ValueError("public_key must lie from 2 to the modulus less 2; other values give a predictable key")
    return dh(public_key, secret_key, MODULUS)

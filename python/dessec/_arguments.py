"""Checks and conversions of the arguments, made before any call of the library."""

from __future__ import annotations

import ctypes
import string
from typing import Union

# The digits of hex texts, either case.
HEX_DIGITS = frozenset(string.hexdigits)
# A password: text, which goes to the library as UTF-8, or bytes as they are.
Password = Union[str, bytes, bytearray]
# Binary data: anything that exposes its bytes.
Data = Union[bytes, bytearray, memoryview]


def _type_name(value: object) -> str:
    return type(value).__name__


def password_bytes(password: Password, name: str = "password") -> bytes:
    """The password as the library reads it: UTF-8 for text, with no NUL."""
    if isinstance(password, str):
        try:
            data = password.encode("utf-8")
        except UnicodeEncodeError as error:
            raise ValueError(f"{name} cannot be written as UTF-8: {error.reason}") from None
    elif isinstance(password, (bytes, bytearray)):
        data = bytes(password)
    else:
        raise TypeError(f"{name} must be str or bytes, not {_type_name(password)}")
    if b"\0" in data:
        raise ValueError(f"{name} holds a NUL character, which would end it early")
    return data


def data_bytes(value: Data, name: str) -> bytes:
    """Binary data as bytes; text is refused, it has no one byte form."""
    if isinstance(value, (bytes, bytearray, memoryview)):
        return bytes(value)
    raise TypeError(f"{name} must be bytes, not {_type_name(value)}")


def sized_bytes(value: Data, size: int, name: str) -> bytes:
    """Binary data of exactly `size` bytes."""
    data = data_bytes(value, name)
    if len(data) != size:
        raise ValueError(f"{name} must be {size} bytes, not {len(data)}")
    return data


def ascii_text(value: str, name: str) -> bytes:
    """A text of the library's (hex digits, hashes, settings): ASCII, no NUL."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be str, not {_type_name(value)}")
    if not value.isascii():
        raise ValueError(f"{name} holds a character outside ASCII")
    if "\0" in value:
        raise ValueError(f"{name} holds a NUL character, which would end it early")
    return value.encode("ascii")


def flag(value: bool, name: str) -> bool:
    if not isinstance(value, bool):
        raise TypeError(f"{name} must be True or False, not {_type_name(value)}")
    return value


def writable(data: bytes, size: int) -> ctypes.Array[ctypes.c_char]:
    """A buffer of `size` bytes for the library to write, holding `data` first."""
    return ctypes.create_string_buffer(data, size)


def wipe(buffer: ctypes.Array[ctypes.c_char]) -> None:
    """Clears a buffer that held a secret, once its value is taken out."""
    ctypes.memset(buffer, 0, ctypes.sizeof(buffer))

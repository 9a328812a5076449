"""The "$1$" MD5-based hash as the library computes it inside passwd_verify,
which no export makes: its salt is any run of up to 8 bytes before a "$",
":" and "!" among them, which the system's crypt library refuses."""

from __future__ import annotations

import hashlib

_CRYPT64 = b"./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
_MAGIC = b"$1$"
_ROUNDS = 1000
# The digest's bytes in the order of the text, three to four characters.
_GROUPS = ((0, 6, 12), (1, 7, 13), (2, 8, 14), (3, 9, 15), (4, 10, 5))


def _salt(setting: bytes) -> bytes:
    rest = setting[len(_MAGIC) :] if setting.startswith(_MAGIC) else setting
    return rest.split(b"$", 1)[0][:8]


def _encode(digest: bytes) -> bytes:
    out = bytearray()
    for first, second, third in _GROUPS:
        value = digest[first] << 16 | digest[second] << 8 | digest[third]
        out += bytes(_CRYPT64[(value >> shift) & 63] for shift in (0, 6, 12, 18))
    out += bytes(_CRYPT64[(digest[11] >> shift) & 63] for shift in (0, 6))
    return bytes(out)


def md5_crypt(password: bytes, setting: bytes) -> bytes:
    salt = _salt(setting)
    alternate = hashlib.md5(password + salt + password).digest()
    main = hashlib.md5(password + _MAGIC + salt)
    for start in range(0, len(password), 16):
        main.update(alternate[: min(16, len(password) - start)])
    length = len(password)
    while length:
        main.update(b"\0" if length & 1 else password[:1])
        length >>= 1
    digest = main.digest()
    for i in range(_ROUNDS):
        step = hashlib.md5(digest if i % 2 == 0 else password)
        if i % 3:
            step.update(salt)
        if i % 7:
            step.update(password)
        step.update(password if i % 2 == 0 else digest)
        digest = step.digest()
    return _MAGIC + salt + b"$" + _encode(digest)

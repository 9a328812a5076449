"""Wrapped hashes: a slow hash of the target's computed over a stored weak
hash, so that the weak hash is gone from storage before its user logs in.

A wrapped text is "$dessec$", the legacy scheme's name, "$", the legacy
setting in lower-case hex (a legacy salt may hold "$", ":" or "!"), and the
target's hash of the legacy hash text (of its base64 SHA-256 digest for
bcrypt, which reads only 72 bytes); a comma and the legacy hash's comment
follow where it had one.
"""

from __future__ import annotations

import base64
import hashlib
import re
from typing import Callable, Optional

from ._library import LIBRARY
from ._md5_crypt import md5_crypt
from ._schemes import SCHEMES, Scheme, extended_count, scheme_of
from ._system_crypt import system_crypt

PREFIX = "$dessec$"
_WRAPPED = re.compile(r"\$dessec\$([a-z0-9_]+)\$((?:[0-9a-f]{2})+)(\$.+)", re.DOTALL)
_BIGCRYPT_SETTING_PAD = "." * 22  # a setting past 13 characters makes bigcrypt
_LEGACY = frozenset(scheme.name for scheme in SCHEMES if scheme.name != "dessec_wrapped")


def _setting(scheme: Scheme, text: str) -> str:
    """The part of a legacy hash that its engine needs besides the password."""
    if scheme.name == "des_crypt":
        return text[:2]
    if scheme.name == "bsdi_crypt":
        return text[:9]
    if scheme.name == "bigcrypt":
        return text[:2] + _BIGCRYPT_SETTING_PAD
    if scheme.name == "bcrypt":
        return text[:29]  # "$2b$", the cost, "$" and 22 salt characters
    return text[: text.rindex("$") + 1]


def _legacy_hash(scheme_name: str, key: bytes, setting: bytes) -> Optional[bytes]:
    """The legacy hash of key, as the engine that made it computes it: the
    library's for its own forms (which take odd salts), the system's crypt
    library for the others. None for an extended setting of count 0, whose
    hash is the same for every password (a wrapped text of an earlier release
    may hold one)."""
    if scheme_name == "bsdi_crypt" and extended_count(setting.decode("latin-1")) == 0:
        return None
    if scheme_name in ("des_crypt", "bsdi_crypt"):
        result: Optional[bytes] = LIBRARY.passwd_crypt(key, setting)
        return result
    if scheme_name == "md5_crypt":
        return md5_crypt(key, setting)
    return system_crypt().hash(key, setting)


def _target_input(target: Scheme, legacy: bytes) -> bytes:
    if target.name == "bcrypt":
        return base64.b64encode(hashlib.sha256(legacy).digest())
    return legacy


def wrap(text: str, scheme: Scheme, target: Scheme, new_hash: Callable[[bytes], str]) -> str:
    head, comma, comment = text.partition(",") if scheme.comment else (text, "", "")
    setting = _setting(scheme, head)
    return f"{PREFIX}{scheme.name}${setting.encode('ascii').hex()}" \
        f"{new_hash(_target_input(target, head.encode('ascii')))}{comma}{comment}"


def verify_wrapped(key: bytes, text: str) -> bool:
    match = _WRAPPED.fullmatch(text.split(",", 1)[0])
    if match is None:
        return False
    scheme_name, setting, inner = match.group(1), bytes.fromhex(match.group(2)), match.group(3)
    target = scheme_of(inner)
    if target is None or not target.costs or scheme_name not in _LEGACY:
        return False
    legacy = _legacy_hash(scheme_name, key, setting)
    if legacy is None:
        return False
    return system_crypt().matches(_target_input(target, legacy), inner.encode("ascii"))

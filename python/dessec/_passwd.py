"""Password hashes: passwd_crypt, passwd_verify and passwd_saltgen, and the
way from these legacy hashes to the system's modern ones."""

from __future__ import annotations

import re
from typing import Optional, Tuple

from ._arguments import Password, ascii_text, password_bytes, writable
from ._errors import LibraryError
from ._library import LIBRARY
from ._limits import SALT_BUFFER
from ._policy import Policy
from ._schemes import CRYPT64, extended_count
from ._system_crypt import system_crypt

_CRYPT64_BYTES = frozenset(CRYPT64.encode("ascii"))
_EXTENDED_SETTING_LEN = 9  # "_", 4 count characters, 4 salt characters
_TRADITIONAL_SETTING_LEN = 2

# The texts that passwd_verify checks, up to a first comma: a traditional
# DES-based hash (2 salt characters, 11 hash characters), an extended one and
# a "$1$" MD5-based one.
_LEGACY_HASH = re.compile(
    r"[^$_].[./0-9A-Za-z]{11}"
    r"|_.{8}[./0-9A-Za-z]{11}"
    r"|\$1\$[^$]{0,8}\$[./0-9A-Za-z]{22}",
    re.DOTALL,
)


def _des_setting(setting: str) -> bytes:
    text = ascii_text(setting, "setting")
    if text.startswith(b"$"):
        raise ValueError("crypt makes DES-based hashes only; a setting that begins with '$' is another scheme's")
    needed = _EXTENDED_SETTING_LEN if text.startswith(b"_") else _TRADITIONAL_SETTING_LEN
    if len(text) < needed:
        raise ValueError(f"setting must have at least {needed} characters, not {len(text)}")
    # Other salt characters (":" and a newline among them) would break the
    # lines of passwd-format files; the system's crypt refuses them too.
    salt = text[1:needed] if needed == _EXTENDED_SETTING_LEN else text[:needed]
    if not _CRYPT64_BYTES.issuperset(salt):
        raise ValueError(f"the setting's salt and count must be of the characters {CRYPT64}")
    if needed == _EXTENDED_SETTING_LEN and extended_count(text.decode("ascii")) == 0:
        raise ValueError("an extended setting of count 0 makes a hash that every password matches")
    return text


def crypt(password: Password, setting: str) -> str:
    """The DES-based hash of password (passwd_crypt).

    setting is two salt characters (a 13-character hash of the first 8
    password bytes) or "_" with four count and four salt characters (a
    20-character hash of the whole password); a whole stored hash will do.
    ValueError for a setting that is shorter, begins with "$" (other schemes),
    has count 0 or salt characters outside "./0-9A-Za-z".
    """
    key = password_bytes(password)
    result: Optional[bytes] = LIBRARY.passwd_crypt(key, _des_setting(setting))
    if result is None:
        raise LibraryError("passwd_crypt returned no hash")
    return result.decode("ascii")


def verify(password: Password, stored: str) -> bool:
    """Whether password matches a stored DES-based or "$1$" hash (passwd_verify).

    Text after a first comma of stored is ignored. Other schemes are not
    dessec's: they never match here (Policy.verify checks them all).
    """
    key = password_bytes(password)
    matched: int = LIBRARY.passwd_verify(key, ascii_text(stored, "stored"))
    return matched == 1


def gensalt() -> str:
    """A random two-character salt for crypt, from a secure generator (passwd_saltgen)."""
    salt = writable(b"", SALT_BUFFER)
    LIBRARY.passwd_saltgen(salt)
    return salt.value.decode("ascii")


def needs_update(stored: str) -> bool:
    """True for a hash that dessec verifies (traditional or extended DES-based,
    "$1$"): a legacy hash to replace with a modern one at the next successful
    login. False for anything else, other weak schemes among it: Policy's
    needs_update covers every scheme.
    """
    return _LEGACY_HASH.fullmatch(ascii_text(stored, "stored").decode("ascii").split(",", 1)[0]) is not None


def verify_and_update(password: Password, stored: str, scheme: str = "yescrypt") -> Tuple[bool, Optional[str]]:
    """Checks password against stored, and replaces a legacy hash on a match.

    A legacy hash (needs_update) is checked by dessec; when it matches, the
    result is (True, new hash): dessec.hash(password, scheme) at the scheme's
    default cost, to store in place of the old one ("sha512crypt" is taken
    for "sha512_crypt"). Any other hash is checked by the system's crypt
    library: (True, None) on a match. A mismatch gives (False, None).
    ValueError for an unknown scheme; dessec.LibraryError (an OSError) when
    the system has no crypt library or it cannot make the hash. Policy's
    verify_and_update moves every other scheme and weak cost too.
    """
    policy = Policy(scheme)
    key = password_bytes(password)
    stored_text = ascii_text(stored, "stored")
    if not needs_update(stored):
        return system_crypt().matches(key, stored_text), None
    if not verify(key, stored):
        return False, None
    return True, policy.hash(key)

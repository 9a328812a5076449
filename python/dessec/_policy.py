"""New hashes of the system's crypt library, and the policy that moves every
stored hash to one scheme and cost."""

from __future__ import annotations

import threading
from typing import Optional, Tuple, Union

from ._arguments import Password, password_bytes
from ._errors import LibraryError
from ._library import LIBRARY
from ._schemes import Scheme, checked_cost, cost_of, scheme_of, stored_text, target
from ._system_crypt import system_crypt
from ._wrap import verify_wrapped, wrap

Stored = Union[str, bytes, bytearray, None]


def _new_hash(key: bytes, scheme: Scheme, cost: int) -> str:
    system = system_crypt()
    result = system.hash(key, system.new_setting(scheme.prefix, cost))
    if result is None:
        raise LibraryError(f"the system's crypt library could not hash the password with {scheme.name}")
    text = result.decode("ascii")
    # The library clamps or replaces some costs without a word: what it made
    # must be what was asked for.
    if scheme_of(text) is not scheme or cost_of(scheme, text) != cost:
        raise LibraryError(f"the system's crypt library made {text[:16]}... for {scheme.name} at cost {cost}")
    return text


def hash(password: Password, scheme: str = "yescrypt", *, cost: Optional[int] = None) -> str:  # noqa: A001
    """A new hash of password, made by the system's crypt library with a
    fresh salt from the system's random source.

    scheme is "yescrypt", "gost_yescrypt", "scrypt", "bcrypt" ("$2b$"),
    "sha512_crypt" or "sha256_crypt"; cost is in the scheme's own unit (see
    Policy) and defaults to the scheme's default. ValueError for another
    scheme or a cost outside the scheme's range; dessec.LibraryError (an
    OSError) when the system's crypt library is missing or fails.
    """
    chosen = target(scheme)
    return _new_hash(password_bytes(password), chosen, checked_cost(chosen, cost))


class Policy:
    """The scheme and cost that every stored hash should have.

    Policy(scheme="yescrypt", *, cost=None): scheme as for dessec.hash; cost
    in the scheme's own unit, None for its default:

        yescrypt, gost_yescrypt  1 to 11, default 5 (the system's default)
        scrypt                   6 to 11, default 7 (N = 2**14)
        bcrypt                   4 to 31, default 12 (2**12 rounds)
        sha512_crypt             1000 to 999999999 rounds, default 656000
        sha256_crypt             1000 to 999999999 rounds, default 535000

    The methods take a stored hash as str, ASCII bytes or None; None, "" and
    texts that identify does not name verify as False, never an exception.
    """

    def __init__(self, scheme: str = "yescrypt", *, cost: Optional[int] = None) -> None:
        self._scheme = target(scheme)
        self.cost: int = checked_cost(self._scheme, cost)
        self._dummy: Optional[bytes] = None
        self._dummy_lock = threading.Lock()

    @property
    def scheme(self) -> str:
        return self._scheme.name

    def __repr__(self) -> str:
        return f"dessec.Policy({self.scheme!r}, cost={self.cost})"

    def hash(self, password: Password) -> str:
        """A new hash of password under the policy's scheme and cost."""
        return _new_hash(password_bytes(password), self._scheme, self.cost)

    def needs_update(self, stored: Stored) -> bool:
        """True for every stored text but a hash of the policy's scheme at its
        cost or above: every other scheme, a weaker cost, bcrypt's "$2a$" and
        "$2x$", yescrypt and scrypt parameters of less work than the
        cost's or of a form not read, and texts that identify does not name."""
        text = stored_text(stored)
        if scheme_of(text) is not self._scheme:
            return True
        assert text is not None
        cost = cost_of(self._scheme, text)
        return cost is None or cost < self.cost

    def verify(self, password: Password, stored: Stored) -> bool:
        """Whether password matches stored, of any scheme that identify names:
        dessec's own forms through the dessec library, the others through the
        system's crypt library, compared in constant time. None, "" and
        unrecognised texts give False, after the work of dummy_verify, so
        that they take the time of a real check."""
        key = password_bytes(password)
        text = stored_text(stored)
        scheme = scheme_of(text)
        if scheme is None or text is None:
            return self._dummy_check(key)
        if scheme.name == "dessec_wrapped":
            return verify_wrapped(key, text)
        if scheme.dessec:
            return int(LIBRARY.passwd_verify(key, text.split(",", 1)[0].encode("ascii"))) == 1
        return system_crypt().matches(key, text.encode("ascii"))

    def verify_and_update(self, password: Password, stored: Stored) -> Tuple[bool, Optional[str]]:
        """(True, new hash) when password matches stored and stored needs an
        update: store the new hash in place of the old. (True, None) for a
        match that needs none, (False, None) for a mismatch."""
        if not self.verify(password, stored):
            return False, None
        return True, self.hash(password) if self.needs_update(stored) else None

    def wrap(self, stored: Stored) -> str:
        """stored, a hash that the policy would update, wrapped: the target's
        hash computed over the stored text, so that the weak hash is gone from
        storage at once, without the password. verify and verify_and_update
        take the wrapped text; a successful login replaces it with a plain
        hash. ValueError for a text that identify does not name, a hash the
        policy would keep, and a wrapped hash."""
        text = stored_text(stored)
        scheme = scheme_of(text)
        if scheme is None or text is None or scheme.name == "dessec_wrapped" or not self.needs_update(text):
            raise ValueError("only a hash of another scheme or a weaker cost than the policy's is wrapped, once")
        return wrap(text, scheme, self._scheme, lambda data: _new_hash(data, self._scheme, self.cost))

    def dummy_verify(self, password: Password = "") -> bool:
        """The work of checking a password against a hash of the policy's
        scheme and cost, for a user that does not exist; always False."""
        return self._dummy_check(password_bytes(password))

    def _dummy_check(self, key: bytes) -> bool:
        with self._dummy_lock:
            if self._dummy is None:
                self._dummy = self.hash(b"not any user's password").encode("ascii")
        system_crypt().matches(key, self._dummy)
        return False

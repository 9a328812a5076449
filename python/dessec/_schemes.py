"""Password-hash schemes: their names, how a stored text is told to be of
one, which engine checks it, and the costs of those that new hashes use."""

from __future__ import annotations

import functools
import re
from dataclasses import dataclass
from typing import Callable, Dict, Optional, Tuple, Union

from ._system_crypt import system_crypt

CRYPT64 = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
_B64 = "[./0-9A-Za-z]"


def extended_count(setting: str) -> int:
    """The iteration count of an extended ("_") setting: characters 1 to 4,
    the first the least significant; a character outside the alphabet counts 0."""
    values = [max(CRYPT64.find(c), 0) for c in setting[1:5]]
    return sum(value << (6 * place) for place, value in enumerate(values))


@dataclass(frozen=True)
class Scheme:
    name: str
    # The whole stored text of the scheme, or of a scheme with comments the
    # text up to its first comma: the rest is a comment that dessec ignores.
    pattern: "re.Pattern[str]"
    dessec: bool = False  # checked by the dessec library rather than the system's crypt
    comment: bool = False  # may end in a comma and a comment
    # Schemes for new hashes: the crypt_gensalt prefix, the range of the cost
    # in the scheme's own unit and the default cost.
    prefix: bytes = b""
    costs: range = range(0)
    default_cost: int = 0
    # A further test of a text that the pattern matched: what the engine
    # refuses to verify is of no scheme.
    usable: Optional[Callable[[str], bool]] = None


def _scheme(name: str, pattern: str, **fields: object) -> Scheme:
    return Scheme(name, re.compile(pattern, re.DOTALL), **fields)  # type: ignore[arg-type]


# Tried in this order: the first whose pattern matches names the text.
SCHEMES = (
    # A hash of the target's over a legacy hash (see _wrap).
    _scheme("dessec_wrapped", r"\$dessec\$[a-z0-9_]+\$(?:[0-9a-f]{2})+\$[^,]+", comment=True),
    _scheme("yescrypt", rf"\$y\${_B64}+\${_B64}{{0,86}}\${_B64}{{43}}",
            prefix=b"$y$", costs=range(1, 12), default_cost=5),
    _scheme("gost_yescrypt", rf"\$gy\${_B64}+\${_B64}{{0,86}}\${_B64}{{43}}",
            prefix=b"$gy$", costs=range(1, 12), default_cost=5),
    _scheme("scrypt", rf"\$7\${_B64}{{11,97}}\${_B64}{{43}}", prefix=b"$7$", costs=range(6, 12), default_cost=7),
    _scheme("bcrypt", rf"\$2[abxy]\$[0-9]{{2}}\${_B64}{{53}}", prefix=b"$2b$", costs=range(4, 32), default_cost=12),
    _scheme("sha512_crypt", rf"\$6\$(rounds=[1-9][0-9]*\$)?[^$:\n]{{0,16}}\${_B64}{{86}}",
            prefix=b"$6$", costs=range(1000, 1_000_000_000), default_cost=656_000),
    _scheme("sha256_crypt", rf"\$5\$(rounds=[1-9][0-9]*\$)?[^$:\n]{{0,16}}\${_B64}{{43}}",
            prefix=b"$5$", costs=range(1000, 1_000_000_000), default_cost=535_000),
    _scheme("sha1_crypt", rf"\$sha1\$[1-9][0-9]*\${_B64}{{1,64}}\${_B64}{{28}}"),
    _scheme("sun_md5_crypt", rf"\$md5(,rounds=[0-9]+)?\${_B64}{{1,8}}\$\$?{_B64}{{22}}"),
    _scheme("nthash", r"\$3\$\$[0-9a-f]{32}"),
    _scheme("md5_crypt", rf"\$1\$[^$]{{0,8}}\${_B64}{{22}}", dessec=True, comment=True),
    # Count 0 hashes every password to the same text: the library refuses it.
    _scheme("bsdi_crypt", rf"_.{{8}}{_B64}{{11}}", dessec=True, comment=True,
            usable=lambda text: extended_count(text) != 0),
    _scheme("bigcrypt", rf"{_B64}{{2}}(?:{_B64}{{11}}){{2,16}}"),
    # Any two salt characters, as the library takes them, but none that marks
    # a locked entry ("!", "*") or another form ("$", "_").
    _scheme("des_crypt", rf"[^$_!*].{_B64}{{11}}", dessec=True, comment=True),
)
BY_NAME: Dict[str, Scheme] = {scheme.name: scheme for scheme in SCHEMES}
ALIASES = {"sha512crypt": "sha512_crypt"}  # the name of earlier releases
TARGETS = tuple(scheme.name for scheme in SCHEMES if scheme.costs)


def stored_text(stored: Union[str, bytes, bytearray, None]) -> Optional[str]:
    """A stored hash as text, or None for None and for what no scheme can hold
    (characters outside ASCII, a NUL); TypeError for another type."""
    if stored is None:
        return None
    if isinstance(stored, (bytes, bytearray)):
        if not stored.isascii():
            return None
        stored = bytes(stored).decode("ascii")
    elif not isinstance(stored, str):
        raise TypeError(f"stored must be str, bytes or None, not {type(stored).__name__}")
    return stored if stored.isascii() and "\0" not in stored else None


def scheme_of(text: Optional[str]) -> Optional[Scheme]:
    if not text:
        return None
    for scheme in SCHEMES:
        head = text.split(",", 1)[0] if scheme.comment else text
        if scheme.pattern.fullmatch(head):
            return scheme if scheme.usable is None or scheme.usable(head) else None
    return None


def identify(stored: Union[str, bytes, bytearray, None]) -> Optional[str]:
    """The scheme of a stored hash: "des_crypt", "bsdi_crypt" (the "_" form),
    "md5_crypt", "bigcrypt", "nthash", "sun_md5_crypt", "sha1_crypt",
    "sha256_crypt", "sha512_crypt", "bcrypt", "scrypt", "yescrypt" or
    "gost_yescrypt", or "dessec_wrapped" for a hash that Policy.wrap made;
    None for anything else, locked entries ("!...", "*...")
    and None among them. stored is str, ASCII bytes or None.
    """
    scheme = scheme_of(stored_text(stored))
    return scheme.name if scheme else None


def target(name: object) -> Scheme:
    """The scheme of new hashes that name names; ValueError for another name."""
    if not isinstance(name, str):
        raise TypeError(f"scheme must be str, not {type(name).__name__}")
    scheme = BY_NAME.get(ALIASES.get(name, name))
    if scheme is None or not scheme.costs:
        raise ValueError(f"scheme must be one of {', '.join(TARGETS)} for new hashes, not {name!r}")
    return scheme


def checked_cost(scheme: Scheme, cost: object) -> int:
    """cost, or the scheme's default for None; ValueError outside the scheme's range."""
    if cost is None:
        return scheme.default_cost
    if not isinstance(cost, int) or isinstance(cost, bool):
        raise TypeError(f"cost must be int or None, not {type(cost).__name__}")
    if cost not in scheme.costs:
        raise ValueError(f"the cost of {scheme.name} lies from {scheme.costs[0]} to {scheme.costs[-1]}, not {cost}")
    return cost


def _little_endian(digits: str) -> int:
    """A number written in crypt64 characters, the first the least significant."""
    return sum(CRYPT64.index(digit) << (6 * place) for place, digit in enumerate(digits))


_YESCRYPT_DEFAULT_FLAVOUR = "j"  # the flavour that every cost of crypt_gensalt names
_YESCRYPT_ONE_CHARACTER = 48  # characters from "." to "j" stand alone for 1 to 48


def _work(scheme: Scheme, text: str) -> Optional[int]:
    """The work of a yescrypt or scrypt hash or setting, as N * r (* p for
    scrypt): its time and memory grow with it. None for a parameter field
    that is not read here: another yescrypt flavour, values of more than one
    character, or further parameters."""
    if scheme.name == "scrypt":
        # "$7$", N's log2 in one character, r and p in five each.
        field = text[3:14]
        return (1 << CRYPT64.index(field[0])) * _little_endian(field[1:6]) * _little_endian(field[6:11])
    # The flavour, then N's log2 and r, each counted from 1.
    field = text.split("$")[2]
    if len(field) != 3 or field[0] != _YESCRYPT_DEFAULT_FLAVOUR:
        return None
    n_log2, r = (CRYPT64.index(character) + 1 for character in field[1:])
    if max(n_log2, r) > _YESCRYPT_ONE_CHARACTER:
        return None
    return (1 << n_log2) * r


@functools.lru_cache(maxsize=None)
def _work_by_cost(scheme: Scheme) -> Tuple[Tuple[int, int], ...]:
    # The work of each cost, as the system's crypt_gensalt encodes it.
    system = system_crypt()
    works = ((_work(scheme, system.new_setting(scheme.prefix, cost).decode("ascii")), cost) for cost in scheme.costs)
    return tuple((work, cost) for work, cost in works if work is not None)


_SHA_ROUNDS = re.compile(r"\$[56]\$rounds=([0-9]+)\$")
_SHA_DEFAULT_ROUNDS = 5000


def cost_of(scheme: Scheme, text: str) -> Optional[int]:
    """The cost of a hash of a scheme for new hashes, or None where it is
    weaker than any cost of the scheme says: bcrypt's "$2a$" and "$2x$"
    (which mishandle 8-bit characters), yescrypt and scrypt parameters below
    the lowest cost's or not read here. Of yescrypt and scrypt the highest
    cost whose work the parameters reach, so that stronger parameters than
    crypt_gensalt makes are kept."""
    if scheme.name == "bcrypt":
        return int(text[4:6]) if text[:4] in ("$2b$", "$2y$") else None
    if scheme.name.startswith("sha"):
        rounds = _SHA_ROUNDS.match(text)
        return int(rounds.group(1)) if rounds else _SHA_DEFAULT_ROUNDS
    work = _work(scheme, text)
    if work is None:
        return None
    return max((cost for cost_work, cost in _work_by_cost(scheme) if cost_work <= work), default=None)

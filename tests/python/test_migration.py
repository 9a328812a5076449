"""verify_and_update: legacy hashes replaced by the system's modern ones on
a match, checked with the system's crypt library."""

import pytest

import dessec
from conftest import read_vectors, system_crypt

LEGACY = [(r["passwd"], r["hash"]) for r in read_vectors("passwd_crypt.txt")]
SCHEMES = {"yescrypt": "$y$", "bcrypt": "$2b$12$", "sha512crypt": "$6$rounds=656000$", "sha512_crypt": "$6$"}
# Every legacy form to yescrypt, and one to each other scheme: their default
# costs take a second a hash.
CASES = [(password, stored, "yescrypt") for password, stored in LEGACY] + [(*LEGACY[0], scheme) for scheme in SCHEMES]


@pytest.mark.parametrize("password, stored, scheme", CASES)
def test_a_matching_legacy_hash_is_replaced(password, stored, scheme):
    ok, new_hash = dessec.verify_and_update(password, stored, scheme)
    assert ok and new_hash.startswith(SCHEMES[scheme])
    assert system_crypt(password, new_hash) == new_hash
    assert not dessec.needs_update(new_hash)
    assert dessec.verify_and_update(password, new_hash) == (True, None)
    assert dessec.verify_and_update("!" + password, new_hash) == (False, None)
    assert dessec.verify_and_update("!" + password, stored, scheme) == (False, None)


def test_new_hashes_are_yescrypt_with_a_fresh_salt():
    first, second = (dessec.verify_and_update("password", "abJnggxhB/yWI")[1] for _ in range(2))
    assert first.startswith("$y$") and first != second


@pytest.mark.parametrize(
    "stored, legacy",
    [("abJnggxhB/yWI", True), ("abJnggxhB/yWI,old comment", True), ("_J9..CCCC.MOp/ZbelpA", True),
     ("$1$abcdefgh$G//4keteveJp0qb8z2DxG/", True), ("$1$$qRPK7m23GJusamGpoGLby/", True),
     ("$6$salt$" + "a" * 86, False), ("$y$j9T$salt$hash", False), ("$2b$05$" + "a" * 53, False),
     ("", False), ("*", False), ("!abJnggxhB/yWI", False), ("abJnggxhB/yW", False)],
)
def test_needs_update(stored, legacy):
    assert dessec.needs_update(stored) is legacy


def test_unusable_modern_texts_do_not_match():
    assert dessec.verify_and_update("pw", "$6$") == (False, None)
    assert dessec.verify_and_update("pw", "!") == (False, None)

"""identify, hash and Policy, with the system's crypt library as the oracle:
it makes a hash of every scheme, and checks every hash that dessec asks of it."""

import pytest

import dessec
from dessec import _policy
from conftest import system_crypt, system_setting

PASSWORD = "correct horse battery"  # over 8 characters: bigcrypt adds blocks
# (scheme, setting) of every scheme the system's crypt library makes, at low costs.
SETTINGS = [
    ("des_crypt", "ab"),
    ("bsdi_crypt", system_setting("_", 1)),
    ("md5_crypt", system_setting("$1$")),
    ("bigcrypt", "ab" + "." * 22),
    ("nthash", "$3$"),
    ("sun_md5_crypt", "$md5,rounds=10$abcdefgh$"),
    ("sha1_crypt", system_setting("$sha1", 4)),
    ("sha256_crypt", system_setting("$5$", 1000)),
    ("sha512_crypt", system_setting("$6$", 1000)),
    ("sha512_crypt", "$6$saltsalt"),  # 5000 rounds, unstated
    ("sha512_crypt", "$6$"),  # an empty salt
    ("sha256_crypt", "$5$rounds=1000$"),
    ("bcrypt", system_setting("$2a$", 4)),
    ("bcrypt", system_setting("$2b$", 4)),
    ("bcrypt", system_setting("$2a$", 4).replace("$2a$", "$2x$")),
    ("bcrypt", system_setting("$2y$", 4)),
    ("scrypt", system_setting("$7$", 6)),
    ("yescrypt", system_setting("$y$", 1)),
    ("gost_yescrypt", system_setting("$gy$", 1)),
]
HASHES = [(scheme, system_crypt(PASSWORD, setting)) for scheme, setting in SETTINGS]
CHEAP = dessec.Policy("yescrypt", cost=1)
TARGET_COSTS = {"yescrypt": 1, "gost_yescrypt": 1, "scrypt": 6, "bcrypt": 4, "sha512_crypt": 1000, "sha256_crypt": 1000}


@pytest.mark.parametrize("scheme, stored", HASHES)
def test_every_scheme_is_named_verified_and_moved(scheme, stored):
    assert dessec.identify(stored) == dessec.identify(stored.encode()) == scheme
    assert CHEAP.needs_update(stored) is not (stored == HASHES[-2][1])
    assert CHEAP.verify(PASSWORD, stored) and CHEAP.verify(PASSWORD.encode(), stored.encode())
    assert not CHEAP.verify("!" + PASSWORD, stored)
    ok, new_hash = CHEAP.verify_and_update(PASSWORD, stored)
    assert ok and (new_hash is None) is (scheme == "yescrypt")
    if new_hash:
        assert new_hash.startswith("$y$j75$") and system_crypt(PASSWORD, new_hash) == new_hash
        assert not CHEAP.needs_update(new_hash)
    assert CHEAP.verify_and_update("!" + PASSWORD, stored) == (False, None)


@pytest.mark.parametrize(
    "stored", [None, "", b"", "*", "!", "*LK*", "!" + HASHES[0][1], "!" + HASHES[-2][1], "$y$j9T$salt$short",
               "$2b$12$" + "a" * 52, "$1$toolongsalt$" + "a" * 22, HASHES[0][1] + "x", "ab\0" + "a" * 10,
               "é" * 13, b"\xff" * 13, "$3$$" + "A" * 32],
)
def test_texts_of_no_scheme(stored):
    assert dessec.identify(stored) is None
    assert CHEAP.needs_update(stored)
    assert not CHEAP.verify(PASSWORD, stored)
    assert CHEAP.verify_and_update(PASSWORD, stored) == (False, None)


def test_dessecs_own_forms_keep_their_quirks():
    # A comment after a comma, and salt characters that the system refuses.
    for stored in (HASHES[0][1] + ",comment", dessec.crypt(PASSWORD, "ab") + ",", "$1$a:b$" + "a" * 22):
        assert dessec.identify(stored) == ("md5_crypt" if stored.startswith("$1$") else "des_crypt")
    odd = "a:" + dessec.crypt(PASSWORD, "ab")[2:]
    assert dessec.identify(odd) == "des_crypt" and CHEAP.verify(PASSWORD, odd) is dessec.verify(PASSWORD, odd)
    assert CHEAP.verify(PASSWORD, HASHES[0][1] + ",comment")


def bcrypt(variant, cost):
    return system_setting("$2b$", cost).replace("$2b$", variant)


@pytest.mark.parametrize(
    "scheme, cost, weaker, as_strong",
    [("bcrypt", 5, [bcrypt("$2b$", 4), bcrypt("$2a$", 5), bcrypt("$2x$", 6)],
      [bcrypt("$2b$", 5), bcrypt("$2y$", 5), bcrypt("$2b$", 6)]),
     ("sha512_crypt", 5000, ["$6$rounds=4999$salt"], ["$6$salt", "$6$rounds=5000$salt", "$6$rounds=9000$salt"]),
     # Work is N * r (* p): N 2**12 with r 8 is cost 3's N 2**10 with r 32.
     ("yescrypt", 3, [system_setting("$y$", 2), "$y$j85$saltsalt"],
      [system_setting("$y$", 3), system_setting("$y$", 4), "$y$j95$saltsalt", "$y$jA5$saltsalt"]),
     ("scrypt", 7, [system_setting("$7$", 6)],
      [system_setting("$7$", 7), system_setting("$7$", 8), "$7$BU....0....saltsalt"])],
)
def test_needs_update_below_the_target_cost(scheme, cost, weaker, as_strong):
    policy = dessec.Policy(scheme, cost=cost)
    for setting, expected in [(s, True) for s in weaker] + [(s, False) for s in as_strong]:
        stored = system_crypt(PASSWORD, setting)
        assert dessec.identify(stored) == scheme and policy.needs_update(stored) is expected, stored
    assert all(policy.needs_update(stored) for other, stored in HASHES if other != scheme)


@pytest.mark.parametrize("field, stronger", [("jFT", True), ("jGT", True), ("jET", False), ("jG5", False),
                                             ("iFT", False), ("jkT", False), ("jFT5", False)])
def test_yescrypt_parameters_above_the_highest_cost_are_kept(field, stronger):
    # Texts only: hashes at these costs take 256 MiB and more. A flavour or
    # length other than crypt_gensalt's is not read: it needs an update.
    assert dessec.Policy("yescrypt", cost=11).needs_update(f"$y${field}$saltsalt${'a' * 43}") is not stronger


@pytest.mark.parametrize("scheme", TARGET_COSTS)
def test_hash_at_the_default_and_a_chosen_cost(scheme):
    default = dessec.hash(PASSWORD, scheme)
    chosen = dessec.hash(PASSWORD, scheme, cost=TARGET_COSTS[scheme])
    for new_hash in (default, chosen):
        assert dessec.identify(new_hash) == scheme and system_crypt(PASSWORD, new_hash) == new_hash
    assert not dessec.Policy(scheme).needs_update(default)
    assert dessec.Policy(scheme).needs_update(chosen)
    assert dessec.hash(PASSWORD, scheme, cost=TARGET_COSTS[scheme]) != chosen  # a fresh salt


def test_default_costs():
    assert [dessec.hash("pw", cost=None)[:7], dessec.hash("pw", "sha512crypt", cost=1000)[:15]] == \
        ["$y$j9T$", "$6$rounds=1000$"]
    assert {scheme: dessec.Policy(scheme).cost for scheme in TARGET_COSTS} == {
        "yescrypt": 5, "gost_yescrypt": 5, "scrypt": 7, "bcrypt": 12, "sha512_crypt": 656000, "sha256_crypt": 535000}


@pytest.mark.parametrize(
    "scheme, cost, error",
    [("bcrypt", 3, ValueError), ("bcrypt", 32, ValueError), ("sha512_crypt", 999, ValueError),
     ("sha256_crypt", 10**9, ValueError), ("yescrypt", 0, ValueError), ("yescrypt", 12, ValueError),
     ("scrypt", 5, ValueError), ("gost_yescrypt", 12, ValueError), ("bcrypt", "12", TypeError),
     ("bcrypt", True, TypeError), ("des_crypt", None, ValueError), ("md5_crypt", None, ValueError),
     ("bigcrypt", None, ValueError), ("sha512", None, ValueError), (None, None, TypeError)],
)
def test_schemes_and_costs_out_of_range(scheme, cost, error):
    with pytest.raises(error):
        dessec.hash(PASSWORD, scheme, cost=cost)
    with pytest.raises(error):
        dessec.Policy(scheme, cost=cost)


def test_dummy_verify_runs_the_targets_hash(monkeypatch):
    policy = dessec.Policy("bcrypt", cost=5)
    checked = []
    system = _policy.system_crypt()
    monkeypatch.setattr(_policy, "system_crypt", lambda: type("Recorder", (), {
        "matches": lambda self, key, stored: checked.append(stored.decode()) or system.matches(key, stored),
        "hash": lambda self, *args: system.hash(*args),
        "new_setting": lambda self, *args: system.new_setting(*args)})())
    assert policy.dummy_verify() is False and policy.dummy_verify(PASSWORD) is False
    assert not policy.verify(PASSWORD, None) and not policy.verify(PASSWORD, "garbage")
    assert len(checked) == 4 and all(stored.startswith("$2b$05$") for stored in checked)


def test_stored_of_another_type_and_bad_passwords():
    for call in (dessec.identify, CHEAP.needs_update, lambda s: CHEAP.verify(PASSWORD, s)):
        with pytest.raises(TypeError):
            call(12345)
    with pytest.raises(ValueError):
        CHEAP.verify("p\0w", HASHES[0][1])
    with pytest.raises(TypeError):
        CHEAP.verify(None, HASHES[0][1])


def test_errors_share_one_base():
    assert issubclass(dessec.WrongPassword, dessec.Error) and issubclass(dessec.WrongPassword, ValueError)
    assert issubclass(dessec.LibraryError, dessec.Error) and issubclass(dessec.LibraryError, OSError)
    assert dessec.Error.__module__ == "dessec"

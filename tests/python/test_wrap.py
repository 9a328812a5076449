"""Wrapped hashes: Policy.wrap, the login that unwraps, and the commands
that audit and wrap a whole shadow-format table."""

import os
import subprocess
import sys
import threading
import time
from collections import Counter

import pytest

import dessec
from dessec import _library, _table
from dessec._md5_crypt import md5_crypt
from conftest import SOURCE, system_crypt
from test_policy import HASHES, PASSWORD, TARGET_COSTS


def library_crypt(password, setting):
    """passwd_crypt itself, which takes any salt characters."""
    return _library.LIBRARY.passwd_crypt(password.encode(), setting.encode()).decode()


LEGACY = [
    library_crypt(PASSWORD, "a$"),
    library_crypt(PASSWORD, "a:"),
    library_crypt(PASSWORD, "_J9..a$:b"),
    library_crypt(PASSWORD, "ab") + ",a comment",
    md5_crypt(PASSWORD.encode(), b"$1$a:!").decode(),
    system_crypt(PASSWORD, "$1$sa$lt"),
] + [stored for scheme, stored in HASHES if scheme != "yescrypt"]


@pytest.mark.parametrize("salt", [b"", b"a:!", b" $", b"abcdefghij"])
@pytest.mark.parametrize("password", [b"", b"p" * 16, b"p" * 17, b"hunter2"])
def test_md5_crypt_is_the_librarys(password, salt):
    # The library checks "$1$" hashes of odd salts, which the system refuses.
    assert dessec.verify(password, md5_crypt(password, b"$1$" + salt).decode())
    assert md5_crypt(b"password", b"$1$abcdefgh") == b"$1$abcdefgh$G//4keteveJp0qb8z2DxG/"


@pytest.mark.parametrize("stored", LEGACY)
def test_a_wrapped_hash_verifies_and_is_replaced_at_login(stored):
    policy = dessec.Policy("yescrypt", cost=1)
    wrapped = policy.wrap(stored)
    head, _, comment = stored.partition(",") if dessec.identify(stored) in ("des_crypt", "bsdi_crypt") \
        else (stored, "", "")
    assert dessec.identify(wrapped) == "dessec_wrapped" and wrapped.startswith("$dessec$" + dessec.identify(stored))
    assert head[-11:] not in wrapped and wrapped.endswith("," + comment if comment else wrapped[-43:])
    assert ":" not in wrapped and policy.needs_update(wrapped)
    assert policy.verify(PASSWORD, wrapped) and not policy.verify("!" + PASSWORD, wrapped)
    ok, new_hash = policy.verify_and_update(PASSWORD, wrapped)
    assert ok and new_hash.startswith("$y$j75$") and system_crypt(PASSWORD, new_hash) == new_hash
    assert policy.verify_and_update("!" + PASSWORD, wrapped) == (False, None)
    # Nobody else takes it for a hash: the system's crypt, the library, the tool.
    assert system_crypt(PASSWORD, wrapped) != wrapped and not dessec.verify(PASSWORD, wrapped)
    with pytest.raises(ValueError):
        policy.wrap(wrapped)


@pytest.mark.parametrize("scheme", TARGET_COSTS)
def test_each_target_wraps(scheme):
    policy = dessec.Policy(scheme, cost=TARGET_COSTS[scheme])
    wrapped = policy.wrap(LEGACY[0])
    assert policy.verify(PASSWORD, wrapped) and not policy.verify("!" + PASSWORD, wrapped)
    # bcrypt reads 72 bytes: a digest of the legacy text stands in for it.
    long_legacy = system_crypt("x" * 30, "ab" + "." * 22)
    assert dessec.Policy(scheme, cost=TARGET_COSTS[scheme]).verify("x" * 30, policy.wrap(long_legacy))


# An extended hash of count 0: the same text for every password.
COUNT_ZERO = library_crypt(PASSWORD, "_....abcd")


@pytest.mark.parametrize("stored", [None, "", "*", "!" + LEGACY[1], "garbage", dessec.hash(PASSWORD, cost=1),
                                    COUNT_ZERO])
def test_only_hashes_to_update_are_wrapped(stored):
    with pytest.raises(ValueError):
        dessec.Policy("yescrypt", cost=1).wrap(stored)


def test_a_hash_of_count_zero_verifies_no_password():
    policy = dessec.Policy("yescrypt", cost=1)
    assert library_crypt("any other", "_....abcd") == COUNT_ZERO and not dessec.verify(PASSWORD, COUNT_ZERO)
    assert dessec.identify(COUNT_ZERO) is None and policy.needs_update(COUNT_ZERO)
    # As an earlier release wrapped it.
    wrapped = "$dessec$bsdi_crypt$" + b"_....abcd".hex() + policy.hash(COUNT_ZERO)
    for stored in (COUNT_ZERO, wrapped):
        assert not policy.verify(PASSWORD, stored) and not policy.verify("any other", stored)


def test_the_tool_refuses_a_wrapped_hash():
    wrapped = dessec.Policy("yescrypt", cost=1).wrap(LEGACY[0])
    result = subprocess.run([os.environ["DESSEC_TOOL"], "verify", "--stdin", wrapped], input=PASSWORD + "\n",
                            capture_output=True, text=True)
    assert result.returncode == 2 and "unsupported or malformed hash" in result.stderr


def run(*arguments, options=()):
    env = dict(os.environ, PYTHONPATH=str(SOURCE / "python"))
    return subprocess.run([sys.executable, *options, "-m", "dessec", *arguments], env=env, capture_output=True,
                          text=True)


def test_the_commands_take_an_old_scheme_name_without_docstrings(tmp_path):
    table = tmp_path / "hashes"
    table.write_text(dessec.hash(PASSWORD, "sha512_crypt", cost=1000) + "\n")
    result = run("audit", str(table), "--scheme", "sha512crypt", "--cost", "1000", options=["-OO"])
    assert result.returncode == 0 and result.stdout.splitlines()[1].split() == ["sha512_crypt", "1", "0"]


def test_wrap_spreads_a_small_table_over_its_jobs(monkeypatch):
    policy, threads = dessec.Policy("yescrypt", cost=1), set()

    def wrap(stored, wrap=policy.wrap):
        threads.add(threading.get_ident())
        time.sleep(0.01)  # so that one worker cannot take every chunk
        return wrap(stored)

    monkeypatch.setattr(policy, "wrap", wrap)
    lines = [f"user{index}:{LEGACY[0]}:::\n".encode() for index in range(22)]
    copy = list(_table.wrapped_lines(policy, lines, 2, progress=False))
    assert len(threads) == 2 and [line.split(b":")[0] for line in copy] == [line.split(b":")[0] for line in lines]
    assert all(policy.verify(PASSWORD, line.split(b":")[1]) for line in copy)


def test_audit_and_wrap_a_shadow_file(tmp_path):
    # Salts with ":" have no place in such a file.
    users = {f"user{index}": stored for index, stored in enumerate(LEGACY) if ":" not in stored}
    users["modern"] = dessec.hash(PASSWORD, cost=1)
    lines = [f"{name}:{stored}:19000:0:99999:7:::\n" for name, stored in users.items()] + ["locked:!:19000::::::\n"]
    shadow = tmp_path / "shadow"
    shadow.write_text("".join(lines))

    report = {row.split()[0]: row.split()[1:] for row in run("audit", str(shadow), "--cost", "1").stdout.splitlines()}
    schemes = Counter(dessec.identify(stored) for stored in users.values())
    assert report.pop("none") == ["1", "-"] and report.pop("yescrypt") == ["1", "0"] and report.pop("scheme")
    assert report == {scheme: [str(count)] * 2 for scheme, count in schemes.items() if scheme != "yescrypt"}

    copies = []
    for jobs in ("1", "2"):
        new = tmp_path / f"new{jobs}"
        result = run("wrap", str(shadow), "--out", str(new), "--cost", "1", "--jobs", jobs)
        assert result.returncode == 0, result.stderr
        assert os.stat(new).st_mode & 0o777 == 0o600
        copies.append(new.read_text().splitlines(keepends=True))
        assert run("wrap", str(shadow), "--out", str(new), "--cost", "1").returncode == 1  # NEW exists
    policy = dessec.Policy("yescrypt", cost=1)
    for first, second, line in zip(*copies, lines):
        for copy in (first, second):
            name, stored, rest = copy.split(":", 2)
            assert (name, rest) == (line.split(":", 2)[0], line.split(":", 2)[2])
            assert (stored == line.split(":")[1]) is (not policy.needs_update(stored) or stored == "!")
            assert stored == "!" or policy.verify(PASSWORD, stored)
        assert dessec.identify(first.split(":")[1]) == dessec.identify(second.split(":")[1])
    assert run("wrap", str(shadow), "--out", "/etc/dessec-wrapped").returncode == 1
    assert not os.path.exists("/etc/dessec-wrapped")

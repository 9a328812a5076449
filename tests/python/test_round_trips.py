"""Property-based round trips over the whole API."""

from hypothesis import given
from hypothesis import strategies as st

import dessec

keys = st.binary(min_size=8, max_size=8)
blocks = st.integers(0, 40).flatmap(lambda n: st.binary(min_size=8 * n, max_size=8 * n))
passwords = st.text(st.characters(blacklist_characters="\0"), max_size=40)
hex_texts = st.integers(0, 8).flatmap(lambda n: st.text("0123456789abcdefABCDEF", min_size=16 * n, max_size=16 * n))
CRYPT64 = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


@given(keys, blocks, keys, st.integers(0, 40))
def test_des_round_trips_and_chains(key, data, iv, cut):
    assert dessec.des_ecb(key, dessec.des_ecb(key, data), decrypt=True) == data
    cipher, vector = dessec.des_cbc(key, data, iv)
    assert dessec.des_cbc(key, cipher, iv, decrypt=True) == (data, vector)
    cut = min(cut, len(data) // 8) * 8
    first, middle = dessec.des_cbc(key, data[:cut], iv)
    assert dessec.des_cbc(key, data[cut:], middle) == (cipher[cut:], vector)
    assert first == cipher[:cut]


@given(st.binary(max_size=200))
def test_hex_round_trip(data):
    text = dessec.bin2hex(data)
    assert text == data.hex()
    assert dessec.hex2bin(text.upper()) == data


@given(hex_texts, passwords)
def test_hex_secrets_round_trip(text, password):
    assert dessec.xdecrypt(dessec.xencrypt(text, password), password) == text.lower()


@given(st.text("0123456789abcdef", min_size=48, max_size=48), passwords)
def test_secret_key_records_open(secret, password):
    record = dessec.xencrypt(secret + secret[:16], password)
    assert dessec.decrypt_secret_key(record, password) == secret


@given(passwords, st.text(CRYPT64, min_size=2, max_size=2), st.sampled_from(CRYPT64[1:]),
       st.text(CRYPT64, min_size=4, max_size=4))
def test_hashes_verify_and_reproduce(password, salt, count, extended_salt):
    # Counts of at most 63 rounds: the count's other characters stay "." (0).
    for setting in (salt, "_" + count + "..." + extended_salt):
        hashed = dessec.crypt(password, setting)
        assert hashed.startswith(setting) and dessec.crypt(password, hashed) == hashed
        assert dessec.verify(password, hashed) and dessec.needs_update(hashed)


def test_key_pairs_agree():
    (secret_a, public_a), (secret_b, public_b) = dessec.generate_keys(), dessec.generate_keys()
    assert dessec.dh(dessec.BASE, secret_a, dessec.MODULUS).lower() == public_a
    assert dessec.common_key(public_b, secret_a) == dessec.common_key(public_a, secret_b)
    assert len(secret_a) == 48 and secret_a != secret_b

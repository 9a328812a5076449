"""Wrong types, lengths, NULs and huge inputs: an exception from every
function, never a crash."""

import pytest

import dessec

KEY = bytes(8)
HUGE = "a" * (1 << 24)
P = dessec.MODULUS
SECRET = "1" * 48
RECORD = dessec.xencrypt(SECRET + SECRET[:16], "pw")

CASES = [
    (dessec.des_ecb, ("k" * 8, bytes(8)), TypeError),
    (dessec.des_ecb, (bytes(7), bytes(8)), ValueError),
    (dessec.des_ecb, (KEY, bytes(12)), ValueError),
    (dessec.des_ecb, (KEY, bytes((1 << 24) + 1)), ValueError),
    (dessec.des_ecb, (KEY, None), TypeError),
    (dessec.des_cbc, (KEY, bytes(8), bytes(9)), ValueError),
    (dessec.des_cbc, (KEY, bytes(8), 0), TypeError),
    (dessec.des_setparity, (bytes(9),), ValueError),
    (dessec.des_setparity, ([0] * 8,), TypeError),
    (dessec.hex2bin, (b"00",), TypeError),
    (dessec.hex2bin, ("0\0",), ValueError),
    (dessec.hex2bin, ("0é",), ValueError),
    (dessec.bin2hex, ("00",), TypeError),
    (dessec.xencrypt, ("0" * 18, "pw"), ValueError),
    (dessec.xencrypt, ("ghijklmnopqrstuv", "pw"), ValueError),
    (dessec.xencrypt, ("0" * 16 + " ", "pw"), ValueError),
    (dessec.xencrypt, ("0" * 16386, "pw"), ValueError),
    (dessec.xencrypt, (HUGE, "pw"), ValueError),
    (dessec.xencrypt, ("0" * 16, "p\0w"), ValueError),
    (dessec.xencrypt, ("0" * 16, 12345678), TypeError),
    (dessec.xdecrypt, ("0" * 16 + "\0", "pw"), ValueError),
    (dessec.xdecrypt, (None, "pw"), TypeError),
    (dessec.decrypt_secret_key, (RECORD, "wrong pw"), dessec.WrongPassword),
    (dessec.decrypt_secret_key, (RECORD[:48], "pw"), ValueError),
    (dessec.decrypt_secret_key, (RECORD + "00", "pw"), ValueError),
    (dessec.decrypt_secret_key, (HUGE, "pw"), ValueError),
    (dessec.decrypt_secret_key, (RECORD, b"p\0w"), ValueError),
    (dessec.dh, ("3", 5, P), TypeError),
    (dessec.dh, ("3", "5\0", P), ValueError),
    (dessec.dh, ("3", "5", ""), ValueError),
    (dessec.dh, ("3", "5", "0"), ValueError),
    (dessec.dh, ("3", "5", "1"), ValueError),
    (dessec.dh, ("3", "5", "1" + "0" * 50), ValueError),  # its last 50 digits
    (dessec.common_key, ("1", SECRET), ValueError),
    (dessec.common_key, (P, SECRET), ValueError),
    (dessec.common_key, ("%x" % (int(P, 16) - 1), SECRET), ValueError),
    (dessec.common_key, ("2", SECRET[1:]), ValueError),
    (dessec.common_key, ("2", "g" * 48), ValueError),
    (dessec.common_key, ("1" * 49, SECRET), ValueError),
    (dessec.common_key, (2, SECRET), TypeError),
    (dessec.crypt, ("pw", "$1$abcdefgh"), ValueError),
    (dessec.crypt, ("pw", "a"), ValueError),
    (dessec.crypt, ("pw", "_...."), ValueError),
    (dessec.crypt, ("pw", "_....abcd"), ValueError),
    (dessec.crypt, ("p\0w", "ab"), ValueError),
    (dessec.crypt, ("hunter2", "a:"), ValueError),
    (dessec.crypt, ("hunter2", "a\n"), ValueError),
    (dessec.crypt, ("hunter2", "_J9..ab:d"), ValueError),
    (dessec.crypt, ("hunter2", "_J:..abcd"), ValueError),
    (dessec.crypt, ("\ud800", "ab"), ValueError),
    (dessec.crypt, (None, "ab"), TypeError),
    (dessec.crypt, ("pw", b"ab"), TypeError),
    (dessec.verify, ("pw", "ab\0"), ValueError),
    (dessec.verify, (["pw"], "abJnggxhB/yWI"), TypeError),
    (dessec.needs_update, (b"ab",), TypeError),
    (dessec.verify_and_update, ("pw", "abJnggxhB/yWI", "md5"), ValueError),
    (dessec.verify_and_update, ("pw", "abJnggxhB/yWI", None), TypeError),
    (dessec.verify_and_update, ("p\0w", "abJnggxhB/yWI"), ValueError),
    (dessec.generate_keys, (1,), TypeError),
    (dessec.gensalt, ("ab",), TypeError),
]


@pytest.mark.parametrize("function, args, error", CASES, ids=lambda c: getattr(c, "__name__", None))
def test_bad_input_raises(function, args, error):
    with pytest.raises(error):
        function(*args)


def test_a_short_record_is_no_wrong_password():
    with pytest.raises(ValueError) as raised:
        dessec.decrypt_secret_key(RECORD[:48], "pw")
    assert not isinstance(raised.value, dessec.WrongPassword)


def test_huge_inputs_that_the_library_takes():
    assert dessec.hex2bin(HUGE) == b"\xaa" * (len(HUGE) // 2)
    assert dessec.bin2hex(bytes(1 << 23)) == "0" * (1 << 24)
    assert dessec.crypt(HUGE, "ab") == dessec.crypt("aaaaaaaa", "ab")
    long_password = "a" * (1 << 20) + "b"  # the extended form folds in every character
    assert dessec.crypt(long_password, "_/...salt") != dessec.crypt(long_password[:-1], "_/...salt")
    assert dessec.dh("3", "f" * len(HUGE) + "1" * 50, P) == dessec.dh("3", "1" * 50, P)  # its last 50 digits
    assert not dessec.verify(HUGE, HUGE) and not dessec.needs_update(HUGE)
    assert dessec.verify_and_update("pw", HUGE) == (False, None)

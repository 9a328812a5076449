"""The caller's limits of the library and its group's texts, as its header
states them (a test holds every DESSEC_ macro of the header to this file)."""

DES_KEY_SIZE = 8  # a DES key and a CBC vector
DES_MAX_LEN = 8192  # the longest ecb_crypt or cbc_crypt request
HEX_MAX_DIGITS = 16384  # the longest text xencrypt and xdecrypt take
SECRET_KEY_DIGITS = 48  # a Diffie-Hellman secret or public key
KEY_BUFFER = 49  # a key text and its NUL
RECORD_DIGITS = 64  # a secret-key record: the key and 16 check digits
RECORD_BUFFER = 65  # a record and its NUL
DH_OUT_BUFFER = 51  # dh's output under any modulus
CRYPT_BUFFER = 21  # the longest passwd_crypt result and its NUL
SALT_BUFFER = 3  # passwd_saltgen's two characters and a NUL

DH_BASE = "3"
DH_MODULUS = "d4a0ba0250b6fd2ec626e7efd637df76c716e22d0944b88b"

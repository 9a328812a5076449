"""dessec: DES-based security utilities, safe to call from Python.

The package calls the dessec shared library (libdessec.so.0, dessec.dll on
Windows) through ctypes. It sizes every buffer itself, checks the type and
length of every argument before a call, and turns the library's results into
values and exceptions: TypeError for a wrong type, ValueError for a value the
library refuses or would misread (a password holding a NUL among them). The
library's calls release the interpreter lock, so threads run them in parallel.

The library is the file named by the environment variable DESSEC_LIBRARY, or
else the one that the system's loader finds; ImportError names what was tried.

Passwords are str (taken as UTF-8) or bytes; hex texts, hashes and settings
are str.

DES blocks:     des_ecb, des_cbc, des_setparity
Hex secrets:    hex2bin, bin2hex, xencrypt, xdecrypt, decrypt_secret_key
Diffie-Hellman: dh, generate_keys, common_key, MODULUS, BASE
Passwords:      crypt, verify, gensalt, needs_update, verify_and_update
                (dessec's own forms); identify, hash, Policy (every scheme;
                Policy.wrap hides a weak hash under a slow one)
Tables:         python -m dessec audit FILE, python -m dessec wrap FILE --out NEW
Errors:         Error, the base of WrongPassword and LibraryError
"""

from ._des import des_cbc, des_ecb, des_setparity
from ._dh import BASE, MODULUS, common_key, dh, generate_keys
from ._errors import Error, LibraryError, WrongPassword
from ._passwd import crypt, gensalt, needs_update, verify, verify_and_update
from ._policy import Policy, hash
from ._schemes import identify
from ._secrets import bin2hex, decrypt_secret_key, hex2bin, xdecrypt, xencrypt
from ._version import __version__

__all__ = [
    "BASE",
    "Error",
    "LibraryError",
    "MODULUS",
    "Policy",
    "WrongPassword",
    "__version__",
    "bin2hex",
    "common_key",
    "crypt",
    "decrypt_secret_key",
    "des_cbc",
    "des_ecb",
    "des_setparity",
    "dh",
    "gensalt",
    "generate_keys",
    "hash",
    "hex2bin",
    "identify",
    "needs_update",
    "verify",
    "verify_and_update",
    "xdecrypt",
    "xencrypt",
]

"""The package's exceptions, all of them under dessec.Error."""


class Error(Exception):
    """The base of every exception that dessec raises of its own."""


class WrongPassword(Error, ValueError):
    """The password does not open the secret-key record, or the record is damaged."""


class LibraryError(Error, OSError):
    """The dessec library or the system's crypt library failed, or is missing a call."""


for _error in (Error, WrongPassword, LibraryError):
    _error.__module__ = "dessec"

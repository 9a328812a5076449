"""The version of dessec, the library's own: its header's DESSEC_VERSION_STRING."""

__version__ = "0.1.0"

"""Finding the library: DESSEC_LIBRARY first, and an ImportError that names
what was tried."""

import ctypes.util
import os
import subprocess
import sys

from conftest import SOURCE


def import_with(library):
    env = dict(os.environ, DESSEC_LIBRARY=library, PYTHONPATH=str(SOURCE / "python"))
    return subprocess.run([sys.executable, "-c", "import dessec"], env=env, capture_output=True, text=True)


def test_a_missing_library_names_the_path_tried():
    result = import_with("/nonexistent/libdessec.so.0")
    assert result.returncode != 0
    assert "ImportError: dessec: cannot load the dessec library; tried DESSEC_LIBRARY=/nonexistent/libdessec.so.0" \
        in result.stderr


def test_another_library_is_refused():
    result = import_with(ctypes.util.find_library("c"))
    assert "is not the dessec library: it has no ecb_crypt" in result.stderr

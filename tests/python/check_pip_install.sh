#!/usr/bin/env bash
# check_pip_install.sh PYTHON PACKAGE_DIR: installs the package with pip into
# a new virtual environment, as a user without the network does (the
# system's setuptools, no build isolation, no index), and uses it from there
# with the library that DESSEC_LIBRARY names.
set -euo pipefail
python=$1
package=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# pip builds in the folder it is given: a copy keeps the source tree clean
# (and takes the licence that the package's LICENSE links to).
cp -rL "$package" "$scratch/package"
"$python" -m venv --system-site-packages --without-pip "$scratch/venv"
"$scratch/venv/bin/python" -m pip install -q --no-build-isolation --no-index --no-deps "$scratch/package"
cd "$scratch"
installed=$("$scratch/venv/bin/python" -c 'import dessec, os; print(os.path.dirname(dessec.__file__))')
[[ $installed == "$scratch/venv/"* ]] || { echo "dessec imports from $installed, not the environment"; exit 1; }
[ -f "$installed/py.typed" ] || { echo "the installed package has no py.typed"; exit 1; }
hash=$("$scratch/venv/bin/python" -c "import dessec; print(dessec.crypt('hunter2', 'ab'))")
[ "$hash" = ab0ozUNIgzCZ. ] || { echo "dessec.crypt('hunter2', 'ab') gives '$hash'"; exit 1; }
# The wheel and the sdist carry the licence.
"$scratch/venv/bin/python" -m pip wheel -q --no-build-isolation --no-index --no-deps -w "$scratch/wheel" "$scratch/package"
(cd "$scratch/package" && "$python" -c 'import sys; from setuptools import build_meta; build_meta.build_sdist(sys.argv[1])' \
  "$scratch/sdist" >/dev/null 2>&1)
"$python" - "$scratch"/wheel/*.whl "$scratch"/sdist/*.tar.gz <<'EOF' || { echo "the wheel or the sdist has no LICENSE"; exit 1; }
import sys, tarfile, zipfile
wheel = zipfile.ZipFile(sys.argv[1]).namelist()
sdist = tarfile.open(sys.argv[2]).getnames()
sys.exit(not any(name.endswith(".dist-info/LICENSE") for name in wheel) or not any(name.endswith("/LICENSE") for name in sdist))
EOF
echo "pip installs the package into a virtual environment without the network, and it works there; its wheel and sdist carry the licence"

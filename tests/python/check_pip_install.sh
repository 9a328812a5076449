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

# pip builds in the folder it is given: a copy keeps the source tree clean.
cp -r "$package" "$scratch/package"
"$python" -m venv --system-site-packages --without-pip "$scratch/venv"
"$scratch/venv/bin/python" -m pip install -q --no-build-isolation --no-index --no-deps "$scratch/package"
cd "$scratch"
installed=$("$scratch/venv/bin/python" -c 'import dessec, os; print(os.path.dirname(dessec.__file__))')
[[ $installed == "$scratch/venv/"* ]] || { echo "dessec imports from $installed, not the environment"; exit 1; }
[ -f "$installed/py.typed" ] || { echo "the installed package has no py.typed"; exit 1; }
hash=$("$scratch/venv/bin/python" -c "import dessec; print(dessec.crypt('hunter2', 'ab'))")
[ "$hash" = ab0ozUNIgzCZ. ] || { echo "dessec.crypt('hunter2', 'ab') gives '$hash'"; exit 1; }
echo "pip installs the package into a virtual environment without the network, and it works there"

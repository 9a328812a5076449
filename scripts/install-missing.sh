#!/usr/bin/env bash
# install-missing.sh PACKAGE...: installs those of the Debian packages that
# are not installed yet, as root, without recommends. A PACKAGE:i386 adds the
# i386 architecture first.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another install may hold the package lock: wait for it rather than fail.
lock=(-o DPkg::Lock::Timeout=900)
apt-get "${lock[@]}" update -qq
apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# check_reproducible.sh DEB_DIR: builds the Debian packages once more, from a
# copy of this source tree in another folder and at a later time, and checks
# that every .deb in DEB_DIR, which scripts/package-deb.sh made from this
# tree, is byte for byte the same file as the second build's. Both builds
# take their time stamp from the same commit.
set -euo pipefail
debs=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The files git would see: tracked and new ones, not the ignored build folders.
copy=$scratch/elsewhere/dessec
mkdir -p "$copy"
(cd "$root" && git ls-files -z --cached --others --exclude-standard \
   | tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$copy"
"$copy/scripts/package-deb.sh" "$scratch/debs" >/dev/null

status=0
shopt -s nullglob
first=("$debs"/*.deb)
[ ${#first[@]} -gt 0 ] || { echo "reproducible: no packages in $debs"; exit 1; }
for deb in "${first[@]}"; do
  name=${deb##*/}
  if [ ! -f "$scratch/debs/$name" ]; then
    echo "reproducible: the second build made no $name"; status=1
  elif ! cmp -s "$deb" "$scratch/debs/$name"; then
    echo "reproducible: $name differs between the builds; what differs:"
    if command -v diffoscope >/dev/null; then diffoscope "$deb" "$scratch/debs/$name" | head -40 || true; fi
    status=1
  fi
done
if [ $status -ne 0 ]; then
  rm -rf "$debs.second" && cp -r "$scratch/debs" "$debs.second"
  echo "reproducible: the second build's packages are in $debs.second"
fi
[ $status -eq 0 ] && echo "reproducible: $(echo "${first[@]##*/}") built twice, in two folders, are the same byte for byte"
exit $status

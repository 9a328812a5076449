#!/usr/bin/env bash
# check_man_pages.sh MANDOC MAN3_DIR
# Lints the library's pages in MAN3_DIR (NAME.3dessec and the links to
# them): mandoc -T lint must report nothing, every link must lead to a page, and every cross-reference
# must name one of these pages or dessec(1). mandoc's own search for the
# referenced pages is left out of the lint: it looks in the machine's manual
# folders, for section 3 without our suffix, so its findings say what is
# installed, not what is written.
set -euo pipefail
mandoc=$1
dir=$2
status=0
fail() { echo "manual: $*"; status=1; }

pages=() names=()
for path in "$dir"/*.3dessec; do
  name=${path##*/}
  names+=("${name%.3dessec}")
  if [ -L "$path" ]; then
    [ -f "$path" ] || fail "$name is a link that leads nowhere"
  else
    pages+=("$path")
  fi
done
[ ${#pages[@]} -gt 0 ] || { echo "manual: no pages in $dir"; exit 1; }

lint=$("$mandoc" -T lint "${pages[@]}" 2>&1 \
  | grep -v -e 'referenced manual not found' -e 'mandoc.db' || true)
[ -z "$lint" ] || fail "mandoc -T lint reports:"$'\n'"$lint"

refs=$(sed -n 's/^\.Xr \([^ ]*\) \([^ ]*\).*/\1(\2)/p' "${pages[@]}" | sort -u)
for ref in $refs; do
  name=${ref%(*}
  case $ref in
    dessec\(1\)) ;;
    *\(3\)) [[ " ${names[*]} " == *" $name "* ]] || fail "cross-reference to $ref, which is no page here" ;;
    *) fail "cross-reference to $ref, outside the library's and the tool's manuals" ;;
  esac
done

[ $status -eq 0 ] && echo "manual: ${#pages[@]} pages and $((${#names[@]} - ${#pages[@]})) links pass mandoc -T lint; cross-references resolve"
exit $status

#!/usr/bin/env bash
# check_man_pages.sh MANDOC MAN3_DIR
# Lints the library's pages in MAN3_DIR (NAME.3dessec and the links to
# them): mandoc -T lint -W warning must report nothing, every link must lead
# to a page, and every cross-reference must resolve: NAME(3dessec) to one of
# these pages, dessec(1) to the tool's, any other to a page of the system
# (man -w), and each footer names the version. mandoc's own search for referenced pages is only a STYLE
# message, below the level checked: it looks in the machine's manual folders
# only, where our pages are not before they are installed.
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

# The footer names the library and its version.
for page in "${pages[@]}"; do
  grep -qE '^\.Os dessec [0-9]+\.[0-9]+\.[0-9]+$' "$page" || fail "${page##*/}: the footer (.Os) names no version"
done

lint_status=0
lint=$("$mandoc" -T lint -W warning "${pages[@]}" 2>&1) || lint_status=$?
[ -z "$lint" ] && [ $lint_status -eq 0 ] || fail "mandoc -T lint -W warning (status $lint_status) reports:"$'\n'"$lint"

ours() { [[ " ${names[*]} " == *" $1 "* ]]; }
# Every Xr of a macro line, at its start or called inside it (.Pq see Xr ...).
refs=$(grep -h '^\.' "${pages[@]}" | grep -oE '(^\.| )Xr [^ ]+ [^ ]+' | awk '{print $2 "(" $3 ")"}' | sort -u)
for ref in $refs; do
  name=${ref%(*} section=${ref#*(} section=${section%)}
  case $section in
    3dessec) ours "$name" || fail "cross-reference to $ref, which is no page here" ;;
    1) [ "$name" = dessec ] || man -w "$section" "$name" >/dev/null 2>&1 || fail "cross-reference to $ref, which is no page of the system" ;;
    *) if ours "$name"; then
         fail "cross-reference to $ref leads to another library's page: this library's is $name(3dessec)"
       elif ! man -w "$section" "$name" >/dev/null 2>&1; then
         fail "cross-reference to $ref, which is no page here nor of the system"
       fi ;;
  esac
done

[ $status -eq 0 ] && echo "manual: ${#pages[@]} pages and $((${#names[@]} - ${#pages[@]})) links pass mandoc -T lint -W warning; cross-references resolve"
exit $status

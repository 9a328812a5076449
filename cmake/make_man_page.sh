#!/bin/sh
# make_man_page.sh TOOL OUTPUT: writes the dessec(1) manual to OUTPUT from the
# tool's own texts: `TOOL --help` as the description, then `TOOL NAME --help`
# for every command that the `commands:` section of that help lists (lines of
# two spaces, the name, and its summary, up to the next blank line).
set -eu
tool=$1
out=$2

# Help texts go in verbatim, in no-fill mode: backslashes, hyphens and
# lines that would read as requests are escaped.
roff_text() {
  printf '.nf\n'
  printf '%s\n' "$1" | sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\\&&/"
  printf '.fi\n'
}

version=$("$tool" --version)
help=$("$tool" --help)
commands=$(printf '%s\n' "$help" | awk '
  /^commands:/ { inside = 1; next }
  inside && /^[[:space:]]*$/ { exit }
  inside && /^  [^ ]/ { print $1 }')
[ -n "$commands" ] || { echo "make_man_page.sh: no commands in '$tool --help'" >&2; exit 1; }

{
  printf '.TH DESSEC 1 "" "%s" "User Commands"\n' "$version"
  printf '.SH NAME\ndessec \\- DES-based security utilities: keys, secret-key records, password hashes\n'
  printf '.SH SYNOPSIS\n.B dessec\n.I COMMAND\n[\\fIOPTIONS\\fR]\n.br\n'
  printf '.B dessec\n.I COMMAND\n.B \\-\\-help\n.br\n.B dessec \\-\\-version\n'
  # The sections of the help after its lists (passwords:, files:, exit status:)
  # become sections of the manual, where readers of manuals look for them.
  printf '.SH DESCRIPTION\n'
  roff_text "$help" | awk '
    /^[a-z][a-z ]*:$/ && $0 != "commands:" && $0 != "options:" {
      print ".fi"; print ".SH " toupper(substr($0, 1, length($0) - 1)); print ".nf"; next
    }
    { print }'
  printf '.SH COMMANDS\n'
  for name in $commands; do
    printf '.SS %s\n' "$(printf '%s' "$name" | sed 's/-/\\-/g')"
    roff_text "$("$tool" "$name" --help)"
  done
  printf '.SH SEE ALSO\nThe C interface of the library: the header \\fBdessec.h\\fR and \\fBdessec\\fR(3).\n'
} >"$out.tmp"
mv "$out.tmp" "$out"

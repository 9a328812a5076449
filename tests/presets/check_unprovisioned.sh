#!/usr/bin/env bash
# check_unprovisioned.sh SOURCE CMAKE PRESET...: configuring each cross
# PRESET against an empty dependency root stops at once, without fetching or
# building anything, on one line that names the provisioning command.
set -uo pipefail
source=$1 cmake=$2; shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for preset in "$@"; do
  mkdir "$work/deps-$preset"
  # A hang, a download or a compiler run would outlast the limit by far.
  out=$(cd "$source" && DESSEC_DEPS=$work/deps-$preset timeout 60 "$cmake" --preset "$preset" -B "$work/build-$preset" 2>&1)
  status=$?
  want="$work/deps-$preset/$preset is not provisioned: run scripts/setup.sh $preset"
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || ! sed 's/^ *//' <<<"$out" | grep -qxF "$want"; then
    echo "FAIL: $preset configured without its prefix: status $status, wanted the line '$want'; got:"
    echo "$out"
    failures=$((failures + 1))
  elif [ -n "$(ls -A "$work/deps-$preset")" ]; then
    echo "FAIL: $preset wrote into its dependency root: $(ls -A "$work/deps-$preset")"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "every one of $* stops on the provisioning command"

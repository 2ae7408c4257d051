#!/usr/bin/env bash
# The Windows zip: built with CPack, it holds the program, the guide and the licence.
# usage: zip_test.sh BUILD_DIR
set -u
build=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$build" && cpack -G ZIP >/dev/null) || { echo "FAIL: cpack could not build the zip"; exit 1; }
zip=$(ls "$build"/spanfetch-*-win64.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { echo "FAIL: no spanfetch-*-win64.zip in $build"; exit 1; }
listing=$(cmake -E tar tf "$zip")
for entry in bin/spanfetch.exe README.txt LICENSE.txt; do
  grep -q "/$entry\$" <<<"$listing" || fail "$entry is not in $(basename "$zip")"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
license=$(find "$work" -name LICENSE.txt | head -n 1)
grep -q "MIT License" "$license" 2>/dev/null || fail "LICENSE.txt is not the MIT licence"
grep -q $'\r$' "$license" 2>/dev/null || fail "LICENSE.txt lacks Windows line ends"
[ $failures -eq 0 ] && echo "zip holds the program, the guide and the licence: $(basename "$zip")"
exit $((failures > 0))

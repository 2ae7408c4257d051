#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it into a scratch root
# and converts a generated sample image with the binary it installed.
#   install_test.sh BUILD_DIR MKIMAGE
set -uo pipefail
. "$(dirname "$0")/../lib.sh"

build_dir=$1
mkimage=$2

for need in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev; do
  tool=${need%%:*}
  command -v "$tool" >/dev/null ||
    skip "$tool is not installed, so the Debian package cannot be built (it comes with ${need#*:})"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Packages into the scratch directory so the build tree is left as it was.
(cd "$build_dir" && timeout 120 cpack -G DEB -B "$work/pkg") >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; echo "FAIL: cpack -G DEB failed"; exit 1; }
debs=("$work"/pkg/spanfetch_*.deb)
[ -f "${debs[0]}" ] || { cat "$work/cpack.log"; echo "FAIL: no spanfetch_*.deb made"; exit 1; }
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  *libc6*) ;;
  *) fail "Depends lacks the C library found by dpkg-shlibdeps: '$depends'" ;;
esac
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "Section is not utils"

root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x failed"; exit 1; }

page="$root/usr/share/man/man1/spanfetch.1.gz"
if [ ! -f "$page" ]; then
  fail "no manual page at usr/share/man/man1/spanfetch.1.gz"
else
  gzip -dc "$page" | grep -q '^\.TH SPANFETCH 1' || fail "manual page does not decompress to the spanfetch page"
  # gzip -n: no file name flag (byte 3, bit 3) and a zero time stamp (bytes 4-7).
  header=$(od -An -tx1 -N8 "$page" | tr -d ' \n')
  [ $(( 0x${header:6:2} & 8 )) -eq 0 ] || fail "manual page gzip keeps a file name (not -n)"
  [ "${header:8:8}" = 00000000 ] || fail "manual page gzip keeps a time stamp (not -n)"
fi
[ -f "$root/usr/share/doc/spanfetch/copyright" ] || fail "no usr/share/doc/spanfetch/copyright"
grep -qx "License: Expat" "$root/usr/share/doc/spanfetch/copyright" || fail "copyright does not name the MIT (Expat) licence"

program="$root/usr/bin/spanfetch"
if [ ! -x "$program" ]; then
  fail "no executable usr/bin/spanfetch"
else
  mkdir -p "$work/src" "$work/out" "$work/expected"
  image=("200K,150K" --marker 1:100K)
  "$mkimage" "$work/src" "${image[@]}" >/dev/null || { echo "FAIL: mkimage failed"; exit 1; }
  "$mkimage" --expect "$work/expected" disk "${image[@]}" >/dev/null || { echo "FAIL: mkimage --expect failed"; exit 1; }
  timeout 30 "$program" "$work/src" "$work/out/disk" </dev/null >"$work/run.log" 2>&1
  status=$?
  [ $status -eq 0 ] || fail "installed spanfetch exited with $status"
  grep -q "Completed Successfuly" "$work/run.log" || fail "no success message"
  same_files "installed spanfetch" "$work/expected" "$work/out"
  [ $failures -eq 0 ] || cat "$work/run.log"
fi

finish "package installs and converts: $(basename "$deb")"

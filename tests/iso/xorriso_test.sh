#!/usr/bin/env bash
# Cross-checks the ISO9660 reader against images written by xorriso: plain,
# Joliet, Rock Ridge, without version numbers or trailing dots, a later
# session, and the head of an image holding a file over 4 GiB. Every extent
# must be the one xorriso reports, and the bytes read through the extents
# must be the files put in.
# usage: xorriso_test.sh ISO_CAT WORK_DIR
set -u
iso_cat=$1 work=$2

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
failures=0

command -v xorriso >/dev/null || skip "xorriso is not installed"

rm -rf "$work"
mkdir -p "$work/src/SUB" "$work/src2" "$work/big"
src=$work/src

head -c 300001 /dev/urandom >"$src/KORVADIS.IMG"
head -c 100000 /dev/urandom >"$src/KORVADIS.001"
head -c 1000 /dev/urandom >"$src/NODOT"
echo inner >"$src/SUB/INNER.TXT"
# Enough entries that the root directory takes several sectors.
for i in $(seq -w 0 79); do head -c $((10#$i + 1)) /dev/urandom >"$src/FILE0$i.DAT"; done
head -c 5000 /dev/urandom >"$work/src2/KORVADIS.002"

make_image() {  # make_image IMAGE XORRISO_MKISOFS_OPTIONS... SOURCE
  local image=$1
  shift
  xorriso -as mkisofs "$@" -o "$image" >"$work/xorriso.log" 2>&1 || { cat "$work/xorriso.log"; fail "xorriso could not write $image"; }
}

# expected_extents IMAGE SESSION_BLOCK NAME: the extents and size xorriso reports for /NAME.
expected_extents() {
  xorriso -load sbsector "$2" -indev "$1" -find / -exec report_lba -- 2>/dev/null |
    awk -v path="'/$3'" '
      BEGIN { n = 0 }
      $1 == "File" && $NF == path {
        gsub(",", "")
        lba[n] = $5; blocks[n] = $6; size = $7; n++
      }
      END {
        left = size
        for (i = 0; i < n; i++) {
          length_ = i + 1 < n ? blocks[i] * 2048 : left
          printf "extent %.0f %.0f\n", lba[i] * 2048, length_
          left -= length_
        }
        if (n) printf "size %.0f\n", size
      }'
}

# check_file IMAGE SESSION_BLOCK QUERY SOURCE_FILE: found, at xorriso's extents, with the source's bytes.
check_file() {
  local image=$1 block=$2 query=$3 file=$4 name expected actual
  name=$(basename "$file")
  expected=$(expected_extents "$image" "$block" "$name")
  [ -n "$expected" ] || { fail "xorriso reports no /$name in $(basename "$image")"; return; }
  actual=$("$iso_cat" --session $((block * 2048)) --extents "$image" "$query")
  [ "$actual" = "$expected" ] || fail "$(basename "$image") $query: extents $actual, xorriso says $expected"
  "$iso_cat" --session $((block * 2048)) "$image" "$query" | cmp -s - "$file" \
    || fail "$(basename "$image") $query: bytes differ from $file"
}

# check_absent IMAGE QUERY
check_absent() {
  "$iso_cat" "$1" "$2" >/dev/null
  local rc=$?
  [ "$rc" = 1 ] || fail "$(basename "$1") $2: exit $rc, not 1 (absent)"
}

for variant in plain:"" joliet:"-J" rockridge:"-R" joliet_rockridge:"-J -R" no_version:"-N" no_dot:"-d -N" \
  level3:"-iso-level 3"; do
  label=${variant%%:*}
  # shellcheck disable=SC2086  # the options are words
  make_image "$work/$label.iso" ${variant#*:} "$src"
  check_file "$work/$label.iso" 0 KORVADIS.IMG "$src/KORVADIS.IMG"
  check_file "$work/$label.iso" 0 korvadis.img "$src/KORVADIS.IMG"
  check_file "$work/$label.iso" 0 KORVADIS.001 "$src/KORVADIS.001"
  check_file "$work/$label.iso" 0 nodot "$src/NODOT"
  check_file "$work/$label.iso" 0 FILE079.DAT "$src/FILE079.DAT"
  check_absent "$work/$label.iso" KORVADIS.002
  check_absent "$work/$label.iso" SUB
  check_absent "$work/$label.iso" INNER.TXT
done

# A second session written at block 400 after the first: its tree holds both
# sessions' files, the first session's own tree only the first's.
make_image "$work/session1.iso" "$src"
make_image "$work/session2.iso" -C 0,400 -M "$work/session1.iso" "$work/src2"
cp "$work/session1.iso" "$work/multi.iso"
truncate -s $((400 * 2048)) "$work/multi.iso"
cat "$work/session2.iso" >>"$work/multi.iso"
check_file "$work/multi.iso" 400 KORVADIS.002 "$work/src2/KORVADIS.002"
check_file "$work/multi.iso" 400 KORVADIS.IMG "$src/KORVADIS.IMG"
check_absent "$work/multi.iso" KORVADIS.002

# A sparse file over 4 GiB is written as two extents; only the image's first
# MiB (descriptors and directories) is kept, so its extents run past the end.
truncate -s $((4 * 1024 * 1024 * 1024 + 1048576 + 5)) "$work/big/HUGE.BIN"
cp "$src/KORVADIS.001" "$work/big/"
xorriso -as mkisofs -iso-level 3 -o - "$work/big" 2>/dev/null | head -c 1048576 >"$work/big.iso"
[ "$(expected_extents "$work/big.iso" 0 HUGE.BIN | grep -c '^extent')" = 2 ] || fail "xorriso did not split HUGE.BIN in two extents"
for name in HUGE.BIN KORVADIS.001; do
  expected=$(expected_extents "$work/big.iso" 0 "$name")
  actual=$("$iso_cat" --extents "$work/big.iso" "$name")
  [ "$actual" = "$expected" ] || fail "big.iso $name: extents $actual, xorriso says $expected"
done

# The images stay for a look when something failed.
((failures == 0)) || exit 1
rm -rf "$work"
echo "PASS: xorriso images read alike"

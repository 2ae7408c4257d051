#!/usr/bin/env bash
# A part whose last, partial sector repeats the header's identity bytes but
# holds fewer than the header's 108 bytes is data, not the end marker: the
# header written over part 0 must come from bytes that were read. Run on
# tmpfs (buffered reads) and on ext4 (direct reads); both give the same result.
# usage: partial_marker_test.sh SPANFETCH MKIMAGE
set -u
spanfetch=$1 mkimage=$2
. "$(dirname "$0")/common.sh"

[ "$(id -u)" = 0 ] || skip "mounting tmpfs and ext4 needs root"
command -v mkfs.ext4 >/dev/null || skip "mkfs.ext4 is not installed"

work=$(mktemp -d)
device=""
cleanup() {
  for m in "$work/tmpfs" "$work/ext4"; do mountpoint -q "$m" && umount "$m"; done
  [ -n "$device" ] && losetup -d "$device"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/tmpfs" "$work/ext4" "$work/out"
mount -t tmpfs tmpfs "$work/tmpfs" 2>/dev/null || skip "cannot mount tmpfs here"
truncate -s 64M "$work/fs.img"
device=$(losetup -f --show "$work/fs.img" 2>/dev/null) || skip "no loop device"
mkfs.ext4 -q -F "$device" >/dev/null 2>&1 && mount "$device" "$work/ext4" 2>/dev/null || skip "cannot mount ext4 here"

# Part 1 ends 4096 + TAIL bytes in, the tail starting with marker 1's header;
# marker 2 sits in part 2. TAIL below 108: marker 2 ends the image; 108: marker 1.
for tail in 52 80 107 108; do
  for fs in tmpfs ext4; do
    src=$work/$fs/t$tail dest=$work/out/$fs-$tail/disk expected=$work/expected-$tail
    mkdir -p "$src" "$(dirname "$dest")" "$expected"
    image=("200000,$((4096 + tail)),150000" --marker 1:4096 --marker 2:43008)
    "$mkimage" "$src" "${image[@]}" || fail "mkimage failed"
    end=$("$mkimage" --expect "$expected" disk "${image[@]}")
    # The oracle agrees: below 108 bytes marker 2 ends the image, at 108 marker 1.
    if ((tail < 108)); then want_end=2:43008; else want_end=1:4096; fi
    [ "$end" = "$want_end" ] || fail "tail $tail: the expected end is $end, not $want_end"
    "$spanfetch" "$src" "$dest" </dev/null >"$work/stdout"
    rc=$?
    [ "$rc" = 0 ] || fail "tail $tail on $fs: exit code $rc: $(cat "$work/stdout")"
    same_files "tail $tail on $fs" "$expected" "$(dirname "$dest")"
  done
  for part in IMG 001 002; do
    [ -e "$work/out/tmpfs-$tail/disk.$part" ] || continue
    cmp -s "$work/out/tmpfs-$tail/disk.$part" "$work/out/ext4-$tail/disk.$part" \
      || fail "tail $tail: disk.$part differs between tmpfs and ext4"
  done
  [ "$failures" = 0 ] && echo "ok: a last sector of $tail bytes"
done

finish "PASS: partial last sectors"

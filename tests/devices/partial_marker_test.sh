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
    src=$work/$fs/t$tail dest=$work/out/$fs-$tail/disk
    mkdir -p "$src" "$(dirname "$dest")"
    "$mkimage" "$src" "200000,$((4096 + tail)),150000" --marker 1:4096 --marker 2:43008 || fail "mkimage failed"
    "$spanfetch" "$src" "$dest" </dev/null >"$work/stdout"
    rc=$?
    [ "$rc" = 0 ] || fail "tail $tail on $fs: exit code $rc: $(cat "$work/stdout")"
    if ((tail < 108)); then
      marker=END00002 last=$dest.002 cut=43008
    else
      marker=END00001 last=$dest.001 cut=4096
      [ -e "$dest.002" ] && fail "tail $tail on $fs: part 2 copied after the end"
    fi
    [ "$(head -c 3 "$dest.IMG")" = IMG ] || fail "tail $tail on $fs: part 0 not rewritten"
    [ "$(head -c 18 "$dest.IMG" | tail -c 8)" = "$marker" ] || fail "tail $tail on $fs: header is not that of $marker"
    [ "$(stat -c %s "$last")" = "$cut" ] || fail "tail $tail on $fs: $last is not $cut bytes"
  done
  for part in IMG 001 002; do
    [ -e "$work/out/tmpfs-$tail/disk.$part" ] || continue
    cmp -s "$work/out/tmpfs-$tail/disk.$part" "$work/out/ext4-$tail/disk.$part" \
      || fail "tail $tail: disk.$part differs between tmpfs and ext4"
  done
  [ "$failures" = 0 ] && echo "ok: a last sector of $tail bytes"
done

((failures == 0)) && echo "PASS: partial last sectors"
exit $((failures > 0))

#!/usr/bin/env bash
# A part over 4 GiB in an image written by xorriso -iso-level 3, which
# records it in two extents; its end marker lies 8 KiB into the second, so
# the copy reads across the split. The part and the image are sparse, but
# the destination receives the 4 GiB before the marker: it goes to a tmpfs of
# its own where the machine has the memory (as root), or to the scratch disk
# when SPANFETCH_LARGE_TESTS=1; otherwise the test is skipped, saying why. It
# also skips where the file system keeps no sparse files or lacks room.
# usage: large_image_test.sh SPANFETCH MKIMAGE SCRATCH_DIR
set -u
spanfetch=$1 mkimage=$2 scratch=$3
. "$(dirname "$0")/../devices/common.sh"

command -v xorriso >/dev/null || skip "xorriso is not installed"

work=$(mktemp -d "$scratch/large-image-XXXXXX")
cleanup() {
  mountpoint -q "$work/out" && umount "$work/out"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/small" "$work/set" "$work/out"

if [ "${SPANFETCH_LARGE_TESTS:-0}" = 1 ]; then
  free_kib=$(df --output=avail -k "$work" | tail -1)
  ((free_kib > 6 * 1024 * 1024)) || skip "less than 6 GiB free under $scratch"
else
  # The 4 GiB written go to memory: only with plenty of it to spare.
  available_kib=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
  ((${available_kib:-0} > 10 * 1024 * 1024)) || skip "less than 10 GiB of memory free for a 4 GiB tmpfs; SPANFETCH_LARGE_TESTS=1 writes to $scratch instead"
  [ "$(id -u)" = 0 ] || skip "mounting a tmpfs for the 4 GiB destination needs root; SPANFETCH_LARGE_TESTS=1 writes to $scratch instead"
  mount -t tmpfs -o size=4200m tmpfs "$work/out" 2>/dev/null || skip "cannot mount a tmpfs here"
fi

# The header and an end marker of one image, taken from a small set.
"$mkimage" "$work/small" 16K --marker 0:8K >/dev/null || fail "mkimage failed"
split=$((4 * 1024 * 1024 * 1024 - 2048))   # the first extent's length
marker=$((split + 8192))
size=$((split + 1024 * 1024))
part=$work/set/KORVADIS.IMG
truncate -s "$size" "$part"
# Data on both sides of the split, so bytes out of place show, then the header and the marker.
head -c $((64 * 1024)) /dev/urandom | dd of="$part" bs=2048 seek=$(((split - 32768) / 2048)) conv=notrunc status=none
dd if="$work/small/KORVADIS.IMG" of="$part" bs=2048 count=1 conv=notrunc status=none
dd if="$work/small/KORVADIS.IMG" of="$part" bs=2048 skip=4 seek=$((marker / 2048)) count=1 conv=notrunc status=none
(($(stat -c %b "$part") * 512 < 64 * 1024 * 1024)) || skip "the file system under $scratch keeps no sparse files"

xorriso -as mkisofs -quiet -iso-level 3 -o - "$work/set" 2>/dev/null |
  dd of="$work/big.iso" bs=1M conv=sparse status=none || fail "xorriso failed"
extents=$(xorriso -indev "$work/big.iso" -find / -exec report_lba 2>/dev/null | grep -c "KORVADIS.IMG")
[ "$extents" -ge 2 ] || fail "the part is recorded in $extents extent(s), not split"

"$spanfetch" "$work/big.iso" "$work/out/disk" </dev/null >"$work/stdout" 2>"$work/stderr"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc"
cmp -s "$work/stdout" <(expected_success "$work/big.iso" "$work/out/disk" 1) || { fail "standard output differs"; cat "$work/stdout"; }
[ -s "$work/stderr" ] && fail "something was written to standard error"
[ "$(stat -c %s "$work/out/disk.IMG")" = "$marker" ] || fail "destination part 0 is not cut at the marker"
cmp -s <(tail -c +109 "$part" | head -c $((marker - 108))) <(tail -c +109 "$work/out/disk.IMG") ||
  fail "destination part 0 differs from the part past its header"
[ "$(head -c 3 "$work/out/disk.IMG")" = IMG ] || fail "the header is not signed IMG"
cmp -s <(tail -c +$((8192 + 4)) "$work/small/KORVADIS.IMG" | head -c 105) <(tail -c +4 "$work/out/disk.IMG" | head -c 105) ||
  fail "the header is not the end marker's"

((failures == 0)) && echo "PASS: a part in two extents over 4 GiB converted"
exit $((failures > 0))

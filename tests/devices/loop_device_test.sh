#!/usr/bin/env bash
# Converts an image from an ext4 file system on a loop device with the given
# logical sector size, and checks which read path was taken:
#   2048: direct reads work and are used;
#   4096: 2048-byte direct reads are refused, so ordinary reads are used.
# usage: loop_device_test.sh SPANFETCH MKIMAGE SECTOR_SIZE
set -u
spanfetch=$1 mkimage=$2 sector=$3
. "$(dirname "$0")/common.sh"

[ "$(id -u)" = 0 ] || skip "losetup and mount need root"
[ -e /dev/loop-control ] || skip "no /dev/loop-control on this machine"
command -v mkfs.ext4 >/dev/null || skip "mkfs.ext4 is not installed"
command -v strace >/dev/null || skip "strace is not installed"

work=$(mktemp -d)
device=""
cleanup() {
  mountpoint -q "$work/mnt" && umount "$work/mnt"
  [ -n "$device" ] && losetup -d "$device"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/mnt" "$work/out"

truncate -s 64M "$work/fs.img"
device=$(losetup --sector-size "$sector" -f --show "$work/fs.img" 2>/dev/null) || skip "losetup refused a $sector-byte loop device here"
mkfs.ext4 -q -F -b 4096 "$device" >/dev/null 2>&1 || skip "mkfs.ext4 failed on $device"
mount "$device" "$work/mnt" 2>/dev/null || skip "cannot mount $device in this sandbox"

# Sizes that are not whole 4096-byte blocks; the marker on a 2048-byte boundary only.
image=("300000,150000" --marker 1:43008)
"$mkimage" "$work/mnt" "${image[@]}" || fail "mkimage failed"
sync
mkdir "$work/expected"
"$mkimage" --expect "$work/expected" disk "${image[@]}" >/dev/null || fail "mkimage --expect failed"

src=$work/mnt dest=$work/out/disk
# The leak checker cannot run under strace; the other tests cover leaks.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  strace -f -e trace=openat,fcntl,pread64 -o "$work/trace" "$spanfetch" "$src" "$dest" >"$work/stdout" 2>"$work/stderr"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc"
cmp -s "$work/stdout" <(expected_success "$src" "$dest" 2) || { fail "standard output differs"; cat "$work/stdout"; }
[ -s "$work/stderr" ] && fail "something was written to standard error"
same_files "converted" "$work/expected" "$work/out"

direct_opens=$(grep -c 'KORVADIS.*O_DIRECT' "$work/trace")
cleared=$(grep -cE 'fcntl\([0-9]+, F_SETFL, O_RDONLY(\|O_LARGEFILE)?\)' "$work/trace")
refused=$(grep -cE 'pread64.*= -1 EINVAL' "$work/trace")
case $sector in
  2048)
    [ "$direct_opens" -ge 2 ] || fail "parts were not opened for direct reads"
    [ "$cleared" = 0 ] && [ "$refused" = 0 ] || fail "direct reads were given up on a 2048-byte device" ;;
  *)
    [ "$cleared" -ge 2 ] || fail "direct reads were not given up on a $sector-byte device" ;;
esac

finish "PASS: converted from a $sector-byte-sector loop device"

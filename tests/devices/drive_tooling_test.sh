#!/usr/bin/env bash
# The stand-in drives and the Linux drive services on them, without spanfetch.
#   faults: fault_fs under a loop device fails exactly the chosen sectors, as
#           often as asked, one read reaching it per 2048-byte direct read,
#           including the reads of a device opened as spanfetch opens one.
#   drive:  what drive_probe sees of loop devices: a disc, a disc change
#           (LOOP_CHANGE_FD), an empty drive and a disc put into it, no device,
#           a device it may not open.
# usage: drive_tooling_test.sh faults|drive MKIMAGE DRIVE_PROBE LOOP_CHANGE_FD [FAULT_FS]
set -u
group=$1 mkimage=$2 probe=$3
DRIVE_CHANGE_FD=$4 FAULT_FS=${5:-}
here=$(dirname "$0")
. "$here/common.sh"
. "$here/drive_lib.sh"

drive_require_loop
drive_require_xorriso
[ "$group" = faults ] && drive_require_fuse

work=$(mktemp -d)
trap 'drive_cleanup; rm -rf "$work"' EXIT

# sector FILE N: the 2048 bytes of sector N of FILE.
sector() { dd if="$1" bs=2048 skip="$2" count=1 status=none; }
# read_direct DEVICE N: sector N read around every cache, as spanfetch reads.
read_direct() { dd if="$1" iflag=direct bs=2048 skip="$2" count=1 status=none 2>/dev/null; }

mkdir -p "$work/a" "$work/b"
"$mkimage" "$work/a" 300000,150000 --marker 1:43008 >/dev/null || fail "mkimage failed"
"$mkimage" "$work/b" 100000,50000 --seed 7 >/dev/null || fail "mkimage failed"
drive_make_iso "$work/a" "$work/a.iso" || fail "no image a"
drive_make_iso "$work/b" "$work/b.iso" || fail "no image b"
((failures == 0)) || exit 1

# expect_single_read LOG SECTOR WHAT: the file system saw exactly one read, of that sector.
expect_single_read() {
  local lines
  lines=$(cut -d' ' -f1,2 "$1" | tr '\n' ';')
  [ "$lines" = "$(($2 * 2048)) 2048;" ] || fail "$3: the file system saw '$lines', wanted one read of sector $2"
}

faults() {
  local lba bad flaky served device log=$work/reads attempt n
  lba=$(drive_lba "$work/a.iso" KORVADIS.001)
  [ -n "$lba" ] || { fail "KORVADIS.001 not found in the image"; return; }
  bad=$((lba + 3)) flaky=$((lba + 6))
  fault_fs_start served "$work/a.iso" "$work/fs" "$log" --bad "$bad" --bad "$flaky:2" || { fail "fault_fs did not mount"; return; }
  drive_attach device "$served" || { fail "cannot attach $served"; return; }

  for attempt in 1 2 3; do
    : >"$log"
    read_direct "$device" "$bad" >/dev/null && fail "bad sector $bad read on attempt $attempt"
    expect_single_read "$log" "$bad" "bad sector, attempt $attempt"
  done
  for n in $((bad - 1)) $((bad + 1)); do
    : >"$log"
    cmp -s <(read_direct "$device" "$n") <(sector "$work/a.iso" "$n") || fail "sector $n next to the bad one differs"
    expect_single_read "$log" "$n" "neighbour $n"
  done
  for attempt in 1 2 3 4; do
    : >"$log"
    if ((attempt <= 2)); then
      read_direct "$device" "$flaky" >/dev/null && fail "sector $flaky read on attempt $attempt, before its 2 failures"
    else
      cmp -s <(read_direct "$device" "$flaky") <(sector "$work/a.iso" "$flaky") || fail "sector $flaky differs on attempt $attempt"
    fi
    expect_single_read "$log" "$flaky" "sector failing twice, attempt $attempt"
  done

  # Opened as spanfetch opens a device: direct reads, none served from a cache.
  [ "$("$probe" info "$device" | grep direct)" = "direct yes" ] || fail "the device was not opened for direct reads"
  : >"$log"
  "$probe" read "$device" "$bad" >/dev/null 2>&1 && fail "drive_probe read the bad sector"
  expect_single_read "$log" "$bad" "drive_probe on the bad sector"
  for attempt in 1 2; do
    : >"$log"
    cmp -s <("$probe" read "$device" $((bad + 1))) <(sector "$work/a.iso" $((bad + 1))) || fail "drive_probe read differs"
    expect_single_read "$log" $((bad + 1)) "drive_probe, attempt $attempt"
  done

  # A larger direct read over the bad sector fails as a whole.
  : >"$log"
  dd if="$device" iflag=direct,skip_bytes bs=32768 skip=$((lba * 2048)) count=1 status=none of=/dev/null 2>/dev/null &&
    fail "a 32 KiB read over the bad sector succeeded"
  [ "$(reads_touching "$log" "$bad")" = 1 ] || fail "the 32 KiB read reached the bad sector $(reads_touching "$log" "$bad") times"
}

drive() {
  local device empty free node size_a
  size_a=$(stat -c %s "$work/a.iso")
  drive_attach device "$work/a.iso" || { fail "cannot attach a.iso"; return; }
  "$probe" info "$device" >"$work/info"
  cmp -s "$work/info" <(printf 'block-device yes\ndirect yes\nsize %s\nsession 0\n' "$size_a") ||
    fail "info of a loop device: $(tr '\n' ' ' <"$work/info")"
  [ "$("$probe" has-disc "$device")" = present ] || fail "no disc seen in a loop device holding an image"
  cmp -s <("$probe" read "$device" 16) <(sector "$work/a.iso" 16) || fail "volume descriptor of a differs"

  # A disc change: the smaller image is padded, and the old disc's sectors are
  # gone from the device's page cache too (dd without iflag=direct).
  drive_change "$device" "$work/b.iso" || fail "LOOP_CHANGE_FD refused"
  [ "$(stat -c %s "$work/b.iso")" = "$size_a" ] || fail "b.iso was not padded to the size of a.iso"
  cmp -s <("$probe" read "$device" 16) <(sector "$work/b.iso" 16) || fail "volume descriptor of b not seen after the change"
  cmp -s <(sector "$device" 16) <(sector "$work/b.iso" 16) || fail "buffered read after the change shows the old disc"
  cmp -s <(sector "$device" 16) <(sector "$work/a.iso" 16) && fail "images a and b have the same volume descriptor"
  drive_change "$device" "$work/a.iso" || fail "LOOP_CHANGE_FD refused the way back"
  cmp -s <(sector "$device" 16) <(sector "$work/a.iso" 16) || fail "volume descriptor of a not seen after changing back"

  # An empty drive, a disc put in, taken out, another put in.
  drive_empty empty "$work" || { fail "cannot attach an empty drive"; return; }
  [ "$("$probe" has-disc "$empty")" = absent ] || fail "a disc seen in an empty drive"
  [ "$("$probe" info "$empty" | grep size)" = "size 0" ] || fail "an empty drive has a size"
  drive_insert "$empty" "$work/a.iso" || fail "cannot insert a"
  [ "$("$probe" has-disc "$empty")" = present ] || fail "no disc seen after inserting one"
  cmp -s <(sector "$empty" 16) <(sector "$work/a.iso" 16) || fail "inserted disc a not seen"
  drive_eject "$empty" || fail "cannot eject"
  [ "$("$probe" has-disc "$empty")" = absent ] || fail "a disc seen after ejecting it"
  drive_insert "$empty" "$work/b.iso" || fail "cannot insert b"
  cmp -s <(sector "$empty" 16) <(sector "$work/b.iso" 16) || fail "inserted disc b not seen (a still cached?)"
  drive_detach "$empty" || fail "cannot detach the drive"

  # An unattached loop device opens with size 0; another test may take it
  # meanwhile, so only an answer given while it stayed free counts.
  free=$(losetup -f 2>/dev/null)
  if [ -n "$free" ] && [ -b "$free" ]; then
    answer=$("$probe" has-disc "$free")
    if ! losetup "$free" >/dev/null 2>&1; then
      [ "$answer" = absent ] || fail "a disc seen in the unattached $free"
    fi
  fi

  [ "$("$probe" has-disc /dev/spanfetch-no-such-drive)" = absent ] || fail "a disc seen in a missing device"
  [ "$("$probe" info "$work/a.iso" | head -1)" = "block-device no" ] || fail "an image file taken for a block device"
  ln -s "$device" "$work/cdrom"
  [ "$("$probe" info "$work/cdrom" | head -1)" = "block-device yes" ] || fail "a link to a block device not followed"

  # A device the user may not open counts as holding a disc, so opening the
  # part reports that rather than asking for a disc.
  if command -v setpriv >/dev/null; then
    node=$work/locked-drive
    mknod -m 600 "$node" b $((0x$(stat -L -c %t "$device"))) $((0x$(stat -L -c %T "$device")))
    cp "$probe" "$work/drive_probe"
    chmod 755 "$work" "$work/drive_probe"
    as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$work/drive_probe" "$@"; }
    [[ "$(as_nobody info "$node")" == *"open failed: Permission denied"* ]] || fail "nobody could open a 0600 device"
    [ "$(as_nobody has-disc "$node")" = present ] || fail "a drive that may not be opened counted as empty"
  fi
}

case $group in
  faults) faults ;;
  drive) drive ;;
  *) echo "unknown group $group"; exit 2 ;;
esac
((failures == 0)) && echo "PASS: $group"
exit $((failures > 0))

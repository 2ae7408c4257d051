# Stand-ins for an optical drive in the device tests: ISO images made with
# xorriso, read-only loop devices with 2048-byte sectors as the drive, disc
# changes behind a loop device, an empty drive, and fault_fs under a loop
# device for sectors that cannot be read. Source common.sh first.
#
# The drive:  drive_attach VAR FILE      VAR=the loop device reading FILE
#             drive_change DEVICE FILE   another disc in it (LOOP_CHANGE_FD;
#                                        the smaller file is padded to match)
#             drive_empty VAR DIR        VAR=a loop device with nothing in it (size 0)
#             drive_insert DEVICE ISO    a disc into the empty one; drive_eject DEVICE
#             drive_detach DEVICE
# Bad sectors: fault_fs_start VAR IMAGE DIR LOG [--bad SECTOR[:FAILURES]]...
#             VAR=the served copy of IMAGE (attach it with drive_attach),
#             every read of it logged in LOG; reads_touching LOG SECTOR counts them.
# Everything made is undone by drive_cleanup, which this file sets as the
# EXIT trap (a test that wants its own trap calls drive_cleanup from it).
#
# One read per sector: a 2048-byte O_DIRECT read of sector N of the loop
# device reaches fault_fs as exactly one read of 2048 bytes at N * 2048.
# Either of two settings gives that, and both are used: fault_fs serves its
# file with direct_io, and the loop device is attached with --direct-io=on
# (so it reads its backing file with O_DIRECT, which also keeps the page cache
# of a plain image file out of the way). With neither, the loop device reads
# the file through its page cache in 4096-byte pages: sector N arrives as a
# read of its whole page (the sector beside it fails along with it), a failed
# page is read twice, and a page once read is served from the cache without
# reaching fault_fs again. Reads of the loop device itself must be O_DIRECT
# too (dd iflag=direct, or drive_probe read): buffered ones go through the
# device's own page cache, a 4096-byte page at a time.

# Paths of the helpers, set by the test: DRIVE_CHANGE_FD=loop_change_fd, FAULT_FS=fault_fs.
DRIVE_CHANGE_FD=${DRIVE_CHANGE_FD:-}
FAULT_FS=${FAULT_FS:-}
DRIVE_SECTOR=2048

drive_devices=()
drive_mounts=()
drive_pids=()
declare -A drive_backing=()

# Skips the test unless loop devices can be made here.
drive_require_loop() {
  [ "$(id -u)" = 0 ] || skip "loop devices need root"
  [ -e /dev/loop-control ] || skip "no /dev/loop-control on this machine"
  command -v losetup >/dev/null || skip "losetup is not installed"
}

drive_require_xorriso() {
  command -v xorriso >/dev/null || skip "xorriso is not installed"
}

# Skips the test unless fault_fs was built and FUSE works here.
drive_require_fuse() {
  [ -n "$FAULT_FS" ] && [ -x "$FAULT_FS" ] || skip "fault_fs was not built (pkg-config found no libfuse3)"
  [ -c /dev/fuse ] || skip "no /dev/fuse on this machine"
  command -v fusermount3 >/dev/null || skip "fusermount3 is not installed"
}

# drive_make_iso DIR ISO: an ISO9660 image of the files in DIR, in its root.
drive_make_iso() {
  xorriso -as mkisofs -quiet -V SPANFETCH -o "$2" "$1" >/dev/null 2>&1 || { echo "xorriso failed on $1" >&2; return 1; }
}

# drive_lba ISO NAME: the first sector of the file NAME in ISO's root.
drive_lba() {
  xorriso -indev "$1" -find "/$2" -exec report_lba -- 2>/dev/null |
    awk -F, '/File data lba:/ { gsub(/ /, "", $2); print $2; exit }'
}

# drive_attach VAR FILE
# (The helpers' locals start with _ so that they never hide the caller's VAR.)
drive_attach() {
  local _device
  _device=$(losetup --sector-size "$DRIVE_SECTOR" -r --direct-io=on -f --show "$2") || return 1
  drive_devices+=("$_device")
  printf -v "$1" '%s' "$_device"
}

# drive_change DEVICE FILE: the kernel swaps only files of the same size.
drive_change() {
  local device=$1 file=$2 current old_size new_size
  current=$(losetup -n -O BACK-FILE "$device") || return 1
  old_size=$(stat -c %s "$current") new_size=$(stat -c %s "$file")
  if ((new_size < old_size)); then
    truncate -s "$old_size" "$file"
  elif ((new_size > old_size)); then
    truncate -s "$new_size" "$current"
    losetup -c "$device"
  fi
  "$DRIVE_CHANGE_FD" "$device" "$file"
}

# Taken off the cleanup list too: once free, the device may be someone else's.
drive_detach() {
  local _kept=() _device
  for _device in "${drive_devices[@]}"; do
    [ "$_device" = "$1" ] || _kept+=("$_device")
  done
  drive_devices=("${_kept[@]}")
  losetup -d "$1"
}

# drive_empty VAR DIR: the device reads a file of size 0 (kept in DIR). An
# unattached loop device looks the same (it opens, has size 0, reads end at
# once, the drive status is refused with EINVAL), but any losetup -f may take
# it meanwhile; this one stays ours.
drive_empty() {
  local _backing
  _backing=$(mktemp "$2/empty-drive.XXXXXX") || return 1
  drive_attach "$1" "$_backing" 2>/dev/null || return 1
  drive_backing[${!1}]=$_backing
}

# drive_insert DEVICE ISO / drive_eject DEVICE: the empty drive's file takes
# the image or is emptied, the device's size follows (losetup -c), and its
# page cache is dropped so no sector of the previous disc is served again.
drive_insert() {
  cat "$2" >"${drive_backing[$1]}" && losetup -c "$1" && blockdev --flushbufs "$1"
}

drive_eject() {
  : >"${drive_backing[$1]}" && losetup -c "$1" && blockdev --flushbufs "$1"
}

# fault_fs_start VAR IMAGE DIR LOG [--bad ...]: serves IMAGE as DIR/disc.iso.
fault_fs_start() {
  local _var=$1 _image=$2 _dir=$3 _log=$4 _pid _tries
  shift 4
  mkdir -p "$_dir"
  : >"$_log"
  "$FAULT_FS" "$@" --log "$_log" "$_image" "$_dir" 2>"$_log.stderr" &
  _pid=$!
  drive_pids+=("$_pid")
  drive_mounts+=("$_dir")
  for ((_tries = 0; _tries < 100; _tries++)); do
    mountpoint -q "$_dir" && break
    kill -0 "$_pid" 2>/dev/null || { cat "$_log.stderr" >&2; return 1; }
    sleep 0.05
  done
  mountpoint -q "$_dir" || return 1
  printf -v "$_var" '%s' "$_dir/disc.iso"
}

# reads_touching LOG SECTOR: how many reads in LOG touched SECTOR.
reads_touching() {
  awk -v first=$(($2 * DRIVE_SECTOR)) -v size=$DRIVE_SECTOR \
    '$1 < first + size && $1 + $2 > first { n++ } END { print n + 0 }' "$1"
}

drive_cleanup() {
  local device dir pid tries
  for device in "${drive_devices[@]}"; do
    losetup -d "$device" 2>/dev/null
  done
  for dir in "${drive_mounts[@]}"; do
    # A detached loop device lets go of its file a moment later.
    for ((tries = 0; tries < 50; tries++)); do
      mountpoint -q "$dir" || break
      fusermount3 -u "$dir" 2>/dev/null && break
      sleep 0.1
    done
    mountpoint -q "$dir" && umount -l "$dir"
  done
  for pid in "${drive_pids[@]}"; do
    for ((tries = 0; tries < 50; tries++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  drive_devices=() drive_mounts=() drive_pids=()
}
trap drive_cleanup EXIT

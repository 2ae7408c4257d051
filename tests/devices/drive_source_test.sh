#!/usr/bin/env bash
# spanfetch reading its parts straight from a stand-in drive (a read-only loop
# device with 2048-byte sectors over an image made by xorriso).
#   reads:  conversions from the device and from a link to it, compared with
#           the oracle; strace shows the direct open and exactly the reads of
#           whole chunks at the parts' extents, none past them.
#   faults: the image served by fault_fs under the device: in one chunk, a
#           sector failing three times before the end marker and a sector
#           that stays bad after it are read exactly 4 times each (by the
#           chunk's read and alone; alone), their neighbours alone once and
#           good, and the conversion is complete up to the marker; a part
#           ending right at the end of the image, followed by two unreadable
#           sectors, converts without touching them.
#   access: a device the user may not open ends the run at once with exit 3,
#           without asking for a disc.
# usage: drive_source_test.sh reads|faults|access SPANFETCH MKIMAGE FAULT_FS
set -u
group=$1 spanfetch=$2 mkimage=$3 FAULT_FS=${4:-}
here=$(dirname "$0")
. "$here/common.sh"
. "$here/drive_lib.sh"

drive_require_loop
drive_require_xorriso
case $group in
  reads) command -v strace >/dev/null || skip "strace is not installed" ;;
  faults) drive_require_fuse ;;
  access) command -v setpriv >/dev/null || skip "setpriv is not installed" ;;
esac

work=$(mktemp -d)
trap 'drive_cleanup; rm -rf "$work"' EXIT
chmod 755 "$work"
CHUNK=63488
# The leak checker cannot run under strace or as another user; other tests cover leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# make_disc NAME SIZES [--marker P:O]... [-- XORRISO_OPTION...]: the set in
# $work/NAME, its image $work/NAME.iso and the oracle's parts in $work/NAME.expected.
make_disc() {
  local name=$1 image=() options=()
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do image+=("$1"); shift; done
  [ $# -gt 0 ] && shift && options=("$@")
  mkdir -p "$work/$name" "$work/$name.expected"
  "$mkimage" "$work/$name" "${image[@]}" >/dev/null || return 1
  "$mkimage" --expect "$work/$name.expected" disk "${image[@]}" >/dev/null || return 1
  xorriso -as mkisofs -quiet "${options[@]}" -o "$work/$name.iso" "$work/$name" >/dev/null 2>&1
}

# convert SOURCE NAME: spanfetch SOURCE $work/NAME.out/disk, standard output
# in $work/NAME.stdout; the exit code.
convert() {
  rm -rf "$work/$2.out" && mkdir -p "$work/$2.out"
  "$spanfetch" "$1" "$work/$2.out/disk" </dev/null >"$work/$2.stdout" 2>"$work/$2.stderr"
}

# extent ISO PART: "START_BYTE LENGTH" of the part in the image.
extent() {
  xorriso -indev "$1" -find "/$2" -exec report_lba -- 2>/dev/null |
    awk -F, '/File data lba:/ { gsub(/ /, ""); print $2 * 2048, $4; exit }'
}

# chunk_reads START LENGTH [STOP]: "OFFSET SIZE" of each chunk read of a part
# at START of LENGTH bytes, whole sectors each, up to the chunk holding STOP.
chunk_reads() {
  local start=$1 length=$2 stop=${3:-$2} at size
  for ((at = 0; at < length && at <= stop; at += CHUNK)); do
    size=$((length - at < CHUNK ? length - at : CHUNK))
    echo "$((start + at)) $(((size + 2047) / 2048 * 2048))"
  done
}

reads() {
  local device trace=$work/trace rc low first0 len0 first1 len1 first2 len2 want got
  make_disc set 300000,150000,200000 --marker 2:133120 || { fail "cannot make the disc"; return; }
  drive_attach device "$work/set.iso" || { fail "cannot attach the image"; return; }

  mkdir "$work/out"
  strace -f -y -e trace=openat,pread64 -o "$trace" "$spanfetch" "$device" "$work/out/disk" </dev/null \
    >"$work/stdout" 2>"$work/stderr"
  rc=$?
  [ "$rc" = 0 ] || fail "exit code $rc from $device"
  cmp -s "$work/stdout" <(expected_success "$device" "$work/out/disk" 3) || fail "output from $device: $(cat "$work/stdout")"
  [ -s "$work/stderr" ] && fail "standard error: $(cat "$work/stderr")"
  same_files "from $device" "$work/set.expected" "$work/out"

  grep -qF "\"$device\", O_RDONLY|O_DIRECT" "$trace" || fail "the device was not opened for direct reads"
  read -r first0 len0 <<<"$(extent "$work/set.iso" KORVADIS.IMG)"
  read -r first1 len1 <<<"$(extent "$work/set.iso" KORVADIS.001)"
  read -r first2 len2 <<<"$(extent "$work/set.iso" KORVADIS.002)"
  # Part 0's header, then each part chunk by chunk; the last up to its marker.
  want=$({ echo "$first0 2048"; chunk_reads "$first0" "$len0"; chunk_reads "$first1" "$len1"
           chunk_reads "$first2" "$len2" 133120; } | tr '\n' ';')
  # Reads of the device below the first part are its volume descriptors and root directory.
  low=$(printf '%s\n' "$first0" "$first1" "$first2" | sort -n | head -1)
  got=$(awk -v dev="<$device>" -v low="$low" '$0 ~ /pread64\(/ && index($0, dev) {
          n = split($0, f, ", "); sub(/\).*/, "", f[n]); if (f[n] + 0 >= low) print f[n], f[n - 1] }' "$trace" | tr '\n' ';')
  [ "$got" = "$want" ] || fail "reads of the parts were [$got], wanted [$want]"
  # Every read of the device lies below the parts (the volume) or inside a
  # part's sectors: nothing after a part is read, whatever follows it.
  awk -v dev="<$device>" -v low="$low" -v parts="$first0 $len0 $first1 $len1 $first2 $len2" '
      BEGIN { split(parts, p, " ") }
      $0 ~ /pread64\(/ && index($0, dev) {
        n = split($0, f, ", "); sub(/\).*/, "", f[n]); at = f[n] + 0; end = at + f[n - 1]
        inside = end <= low
        for (i = 1; i < 6; i += 2)
          inside = inside || (at >= p[i] && end <= p[i] + int((p[i + 1] + 2047) / 2048) * 2048)
        if (!inside) print
      }' "$trace" >"$work/outside"
  [ -s "$work/outside" ] && fail "read outside the parts: $(head -1 "$work/outside")"

  # The same disc through a link, as /dev/cdrom: messages name the link.
  ln -s "$device" "$work/cdrom"
  convert "$work/cdrom" link || fail "exit code $? through a link"
  cmp -s "$work/link.stdout" <(expected_success "$work/cdrom" "$work/link.out/disk" 3) ||
    fail "output through a link: $(cat "$work/link.stdout")"
  same_files "through a link" "$work/set.expected" "$work/link.out"
}

faults() {
  local served device log=$work/reads first len flaky bad n
  # Part 0 holds the marker in its fourth chunk: 3 * 63488 + 10240 = 200704.
  make_disc set 300000 --marker 0:200704 || { fail "cannot make the disc"; return; }
  read -r first len <<<"$(extent "$work/set.iso" KORVADIS.IMG)"
  # Both in the fourth chunk, which starts at part sector 93: one that fails
  # three times before the marker (sector 98), one that stays bad after it.
  # The chunk's read fails, then each sector is read alone, up to 4 times.
  flaky=$((first / 2048 + 95)) bad=$((first / 2048 + 100))
  fault_fs_start served "$work/set.iso" "$work/fs" "$log" --bad "$flaky:3" --bad "$bad" || { fail "fault_fs did not mount"; return; }
  drive_attach device "$served" || { fail "cannot attach $served"; return; }
  convert "$device" set || fail "exit code $? with a flaky and a bad sector: $(cat "$work/set.stdout")"
  same_files "flaky and bad sectors" "$work/set.expected" "$work/set.out"
  [ "$(reads_touching "$log" "$flaky")" = 4 ] ||
    fail "the sector failing 3 times was read $(reads_touching "$log" "$flaky") times, wanted 4 (the chunk, 3 alone)"
  [ "$(grep -c "^$((bad * 2048)) 2048 -5$" "$log")" = 4 ] ||
    fail "the bad sector was read alone $(grep -c "^$((bad * 2048)) 2048 " "$log") times, wanted 4"
  for n in $((flaky - 1)) $((flaky + 1)) $((bad - 1)); do
    [ "$(grep -c "^$((n * 2048)) 2048 2048$" "$log")" = 1 ] || fail "neighbour $n was not read alone exactly once, good"
  done
  [ "$(reads_touching "$log" $((bad + 1)))" = 1 ] || fail "the sector after the bad one was read alone"
  drive_cleanup

  # The last part ends where the image ends (no padding), followed by two sectors that cannot be read.
  make_disc end 200000 --marker 0:192512 -- -no-pad || { fail "cannot make the disc"; return; }
  read -r first len <<<"$(extent "$work/end.iso" KORVADIS.IMG)"
  [ $((first + (len + 2047) / 2048 * 2048)) = "$(stat -c %s "$work/end.iso")" ] || fail "the part does not end the image"
  n=$(($(stat -c %s "$work/end.iso") / 2048))
  truncate -s $(((n + 2) * 2048)) "$work/end.iso"
  fault_fs_start served "$work/end.iso" "$work/fs2" "$log" --bad "$n" --bad $((n + 1)) || { fail "fault_fs did not mount"; return; }
  drive_attach device "$served" || { fail "cannot attach $served"; return; }
  convert "$device" end || fail "exit code $? with unreadable sectors after the track: $(cat "$work/end.stdout")"
  same_files "part ending the track" "$work/end.expected" "$work/end.out"
  [ "$(reads_touching "$log" "$n")$(reads_touching "$log" $((n + 1)))" = 00 ] || fail "the run-out sectors were read"
}

access() {
  local device node rc
  make_disc set 300000 --marker 0:200704 || { fail "cannot make the disc"; return; }
  drive_attach device "$work/set.iso" || { fail "cannot attach the image"; return; }
  node=$work/locked-drive
  mknod -m 600 "$node" b $((0x$(stat -L -c %t "$device"))) $((0x$(stat -L -c %T "$device")))
  cp "$spanfetch" "$work/spanfetch"
  chmod 755 "$work/spanfetch"
  mkdir -m 777 "$work/out"
  setpriv --reuid=65534 --regid=65534 --clear-groups "$work/spanfetch" "$node" "$work/out/disk" </dev/null >"$work/stdout" 2>&1
  rc=$?
  [ "$rc" = 3 ] || fail "exit code $rc from a device that may not be opened, wanted 3"
  cmp -s "$work/stdout" <(printf '\n\nUnable to open %s/KORVADIS.IMG\n' "$node") || fail "output: $(cat "$work/stdout")"
}

case $group in
  reads) reads ;;
  faults) faults ;;
  access) access ;;
  *) echo "unknown group $group"; exit 2 ;;
esac
finish "PASS: $group"

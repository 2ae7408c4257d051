#!/usr/bin/env bash
# Benchmark from a stand-in drive: the three-part set in an ISO9660 image made
# by xorriso, read through a read-only loop device with 2048-byte sectors (the
# device reading its file directly), spanfetch converting it from the device
# against dd reading the same extents of the device directly, chunk by chunk,
# each destination part flushed (conv=fsync) as spanfetch flushes its own.
# Needs root, loop devices and xorriso; says why and exits 0 without them.
#
#   bash bench/device.sh [--smoke] [--runs N] --spanfetch BIN --mkimage BIN --dir WORKDIR
#   (bash bench/run.sh --only device passes these on)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/lib.sh"
chunk=63488
smoke=0
runs=9
spanfetch=$root/build/default/spanfetch
mkimage=$root/build/default/mkimage
work=$root/build/default/bench-device

while [ $# -gt 0 ]; do
    case "$1" in
    --smoke) smoke=1; runs=1 ;;
    --runs) runs=$2; shift ;;
    --spanfetch) spanfetch=$2; shift ;;
    --mkimage) mkimage=$2; shift ;;
    --dir) work=$2; shift ;;
    *) echo "usage: $0 [--smoke] [--runs N] [--spanfetch BIN] [--mkimage BIN] [--dir DIR]" >&2; exit 2 ;;
    esac
    shift
done

unavailable() { echo "device benchmark skipped: $*"; exit 0; }
[ "$(id -u)" = 0 ] || unavailable "loop devices need root"
[ -e /dev/loop-control ] || unavailable "no /dev/loop-control on this machine"
command -v xorriso >/dev/null || unavailable "xorriso is not installed"
command -v losetup >/dev/null || unavailable "losetup is not installed"

# The same set as the file benchmark; every size a whole number of sectors,
# as dd's direct reads of the last stretch need.
if [ "$smoke" = 1 ]; then
    sizes=(2M 2M 1M) marker=983040
else
    sizes=(400M 400M 224M) marker=$((221 * 1024 * 1024))
fi

device=""
cleanup() {
    [ -n "$device" ] && losetup -d "$device"
    rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work/set" "$work/out"

echo "== device: ${sizes[*]}, end marker at part 2 offset $marker, in an image on a 2048-byte-sector loop device"
"$mkimage" "$work/set" "$(IFS=,; echo "${sizes[*]}")" --marker "2:$marker" >/dev/null
xorriso -as mkisofs -quiet -V BENCH -o "$work/disc.iso" "$work/set" >/dev/null 2>&1
rm -rf "$work/set"
device=$(losetup --sector-size 2048 -r --direct-io=on -f --show "$work/disc.iso")

# extent NAME: "FIRST_SECTOR BYTES" of a part in the image.
extent() {
    xorriso -indev "$work/disc.iso" -find "/$1" -exec report_lba -- 2>/dev/null |
        awk -F, '/File data lba:/ { gsub(/ /, ""); print $2, $4; exit }'
}
read -r lba0 len0 <<<"$(extent KORVADIS.IMG)"
read -r lba1 len1 <<<"$(extent KORVADIS.001)"
read -r lba2 _ <<<"$(extent KORVADIS.002)"
copied=$((len0 + len1 + marker))

can_drop=0
[ -w /proc/sys/vm/drop_caches ] && can_drop=1
settle() {
    sync
    if [ "$can_drop" = 1 ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}

run_spanfetch() { "$spanfetch" "$device" "$work/out/spanfetch/disk" </dev/null >"$work/spanfetch.log"; }
# Each part's extent from the device, in 63488-byte direct reads, part 2 up to the marker.
dd_part() {
    dd if="$device" of="$work/out/dd/disk.$1" iflag=direct,skip_bytes,count_bytes skip=$(($2 * 2048)) count="$3" \
        bs=$chunk conv=fsync status=none
}
run_dd() { dd_part IMG "$lba0" "$len0" && dd_part 001 "$lba1" "$len1" && dd_part 002 "$lba2" "$marker"; }

declare -A wall
timed_run() {
    local tool=$1 start end
    rm -rf "${work:?}/out/$tool"
    mkdir -p "$work/out/$tool"
    settle
    start=$(date +%s%N)
    "run_$tool" || { echo "error: the $tool run from $device failed" >&2; exit 1; }
    end=$(date +%s%N)
    wall[$tool]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }') "
}
for ((round = 0; round < runs; ++round)); do
    if ((round % 2 == 0)); then timed_run spanfetch; timed_run dd; else timed_run dd; timed_run spanfetch; fi
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f %.3f", m, v[1], v[NR] }'; }
declare -A med
for tool in spanfetch dd; do
    read -r m lo hi <<<"$(median <<<"${wall[$tool]}")"
    med[$tool]=$m
    printf '  %-10s median %7.3f s  min-max %.3f-%.3f s  %7.1f MB/s\n' "$([ "$tool" = dd ] && echo dd-direct || echo "$tool")" \
        "$m" "$lo" "$hi" "$(awk -v b="$copied" -v t="$m" 'BEGIN { print b / t / 1e6 }')"
    echo "    walls (s, in run order): ${wall[$tool]}"
done
paired=$(paste -d ' ' <(tr ' ' '\n' <<<"${wall[spanfetch]}" | grep .) <(tr ' ' '\n' <<<"${wall[dd]}" | grep .) |
    awk '{ printf "%s ", $1 / $2 }' | median)
ratio=$(awk -v a="${med[spanfetch]}" -v b="${med[dd]}" 'BEGIN { printf "%.3f", a / b }')

# spanfetch's parts are what the image builder expects; dd's the same but for part 0's header.
expected=$work/expected
mkdir -p "$expected"
"$mkimage" --expect "$expected" disk "$(IFS=,; echo "${sizes[*]}")" --marker "2:$marker" >/dev/null
same_files "spanfetch from $device" "$expected" "$work/out/spanfetch"
cmp -s -i 108 "$work/out/dd/disk.IMG" "$expected/disk.IMG" || fail "dd's part 0 differs past its header"
cmp -s "$work/out/dd/disk.001" "$expected/disk.001" || fail "dd's part 1 differs"
cmp -s "$work/out/dd/disk.002" "$expected/disk.002" || fail "dd's part 2 differs"
finish "device: spanfetch/dd-direct wall $ratio (ratio of medians, $runs runs each); per round: median, min, max $paired"

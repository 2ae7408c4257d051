#!/usr/bin/env bash
# Benchmark: spanfetch converting a three-part image set against the same I/O
# done by dd with direct reads and by cat, side by side on the same data; and
# (where xorriso is installed) spanfetch reading the same set from one ISO9660
# image file against dd reading the same extents of it with direct reads.
# dd flushes each part it writes (conv=fsync), as spanfetch does before it
# reports a part written, so the two give the same durability; cat does not.
#
#   bash bench/run.sh                 # ~1 GiB set, 9 alternating runs of each
#   bash bench/run.sh --runs 15       # more (at least 5 for a fair median)
#   bash bench/run.sh --smoke         # a few MB, 1 run each, checks the outputs
#   bash bench/run.sh --only device   # only the run from a stand-in drive (bench/device.sh),
#                                     # which a full run also does last
#   options: --spanfetch BIN --mkimage BIN --dir WORKDIR (default build/default/bench-data)
#
# Prints medians and min-max of wall time, the ratios of spanfetch to each peer,
# spanfetch's peak RSS, CPU time against wall, system calls per 63488-byte chunk,
# and one summary line last.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/lib.sh"
chunk=63488
smoke=0
runs=9
spanfetch=
mkimage=
work=
only=

while [ $# -gt 0 ]; do
    case "$1" in
    --smoke) smoke=1; runs=1 ;;
    --runs) runs=$2; shift ;;
    --spanfetch) spanfetch=$2; shift ;;
    --mkimage) mkimage=$2; shift ;;
    --dir) work=$2; shift ;;
    --only) only=$2; shift ;;
    *) echo "usage: $0 [--smoke] [--runs N] [--spanfetch BIN] [--mkimage BIN] [--dir DIR] [--only device]" >&2; exit 2 ;;
    esac
    shift
done

if [ -z "$spanfetch" ] || [ -z "$mkimage" ]; then
    if [ ! -x "$root/build/default/spanfetch" ] || [ ! -x "$root/build/default/mkimage" ]; then
        echo "== building the default preset"
        (cd "$root" && cmake --preset default >/dev/null &&
            cmake --build --preset default -j "$(nproc)" --target spanfetch mkimage >/dev/null)
    fi
    spanfetch=${spanfetch:-$root/build/default/spanfetch}
    mkimage=${mkimage:-$root/build/default/mkimage}
fi
work=${work:-$root/build/default/bench-data}

# The run from a stand-in drive, in a script of its own.
device_bench() {
    local mode=()
    [ "$smoke" = 1 ] && mode=(--smoke)
    bash "$root/bench/device.sh" "${mode[@]}" --runs "$runs" --spanfetch "$spanfetch" --mkimage "$mkimage" --dir "$work-device"
}
case "$only" in
"") ;;
device) device_bench; exit ;;
*) echo "unknown --only $only (device)" >&2; exit 2 ;;
esac

# Part sizes and the end marker: 400M, 400M and the rest of 1 GiB, the marker
# 3 MiB before the end of the last part (a 2048 multiple, not a chunk multiple,
# so the cut falls inside a chunk).
if [ "$smoke" = 1 ]; then
    sizes=(2M 2M 1M)
    marker=983040            # 960 KiB into part 2
else
    sizes=(400M 400M 224M)
    marker=$((221 * 1024 * 1024))
fi

# /usr/bin/time gives peak RSS and CPU time of a whole command.
if [ ! -x /usr/bin/time ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq time >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get install -y -qq time >/dev/null 2>&1; } || true
fi
if [ ! -x /usr/bin/time ]; then
    echo "error: /usr/bin/time is missing (apt-get install time)" >&2
    exit 1
fi

src=$work/disc
out=$work/out
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$src" "$out"

fstype=$(df --output=fstype "$work" | tail -1)
case "$fstype" in
tmpfs | ramfs) echo "warning: $work is on $fstype; direct reads fall back to buffered and nothing reaches a device" ;;
esac

echo "== generating ${sizes[*]} with the end marker at part 2 offset $marker in $work ($fstype)"
"$mkimage" "$src" "$(IFS=,; echo "${sizes[*]}")" --marker "2:$marker"
p0=$src/KORVADIS.IMG
p1=$src/KORVADIS.001
p2=$src/KORVADIS.002
s0=$(stat -c %s "$p0")
s1=$(stat -c %s "$p1")
# Bytes the conversion moves: parts 0 and 1 whole, part 2 up to the marker.
copied=$((s0 + s1 + marker))
catted=$((s0 + s1 + $(stat -c %s "$p2")))

# The same set in one image file, and where each part lies in it.
iso=$work/set.iso
with_image=0
if command -v xorriso >/dev/null; then
    xorriso -as mkisofs -quiet -o "$iso" "$src" 2>/dev/null || { echo "error: xorriso failed" >&2; exit 1; }
    # "File data lba: XT , START , BLOCKS , SIZE , '/NAME'": one extent per part.
    report=$(xorriso -indev "$iso" -find / -exec report_lba 2>/dev/null | grep "^File data lba:")
    lba() { awk -F'[:,]' -v n="'/$1'" '{ gsub(/ /, "", $6) } $6 == n { gsub(/ /, "", $3); print $3 }' <<<"$report"; }
    l0=$(lba KORVADIS.IMG) l1=$(lba KORVADIS.001) l2=$(lba KORVADIS.002)
    for l in "$l0" "$l1" "$l2"; do
        [[ "$l" =~ ^[0-9]+$ ]] || { echo "error: no single extent per part in $iso:"$'\n'"$report" >&2; exit 1; }
    done
    with_image=1
    echo "== the same set in $iso, parts at sectors $l0, $l1, $l2"
else
    echo "note: xorriso is missing; the image file is not benchmarked"
fi

# Every timed run should read from the device, so the page cache is dropped
# before each (and the previous run's writes flushed). Not done in smoke mode.
can_drop=0
if [ "$smoke" = 0 ]; then
    if [ -w /proc/sys/vm/drop_caches ] && sync && (echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
        can_drop=1
        echo "page cache dropped before every run"
    else
        echo "note: cannot write /proc/sys/vm/drop_caches (not root?); runs after the first may read from the page cache"
    fi
fi
settle() {
    sync
    if [ "$can_drop" = 1 ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}

# Each tool runs under time(1): spanfetch and cat as its direct child, so the
# peak RSS is their own; dd needs a shell for its three processes.
measure() { /usr/bin/time -f '%U %S %M' -o "$work/time.txt" "$@"; }
run_spanfetch() { measure "$spanfetch" "$src" "$out/spanfetch/disk" </dev/null >"$work/spanfetch.log"; }
run_dd() {
    # shellcheck disable=SC2016 # the inner shell expands its own arguments
    measure bash -c 'dd if="$1" of="$4/disk.IMG" iflag=direct bs=$5 conv=fsync status=none &&
        dd if="$2" of="$4/disk.001" iflag=direct bs=$5 conv=fsync status=none &&
        dd if="$3" of="$4/disk.002" iflag=direct,count_bytes count=$6 bs=$5 conv=fsync status=none' \
        dd "$p0" "$p1" "$p2" "$out/dd" "$chunk" "$marker"
}
run_cat() { measure cat "$p0" "$p1" "$p2" >"$out/cat/all"; }
run_spanfetch_iso() { measure "$spanfetch" "$iso" "$out/spanfetch_iso/disk" </dev/null >"$work/spanfetch.log"; }
run_dd_iso() {
    # shellcheck disable=SC2016 # the inner shell expands its own arguments
    measure bash -c 'flags=iflag=direct,skip_bytes,count_bytes
        dd if="$1" of="$2/disk.IMG" $flags skip=$(($3 * 2048)) count=$4 bs=$9 conv=fsync status=none &&
        dd if="$1" of="$2/disk.001" $flags skip=$(($5 * 2048)) count=$6 bs=$9 conv=fsync status=none &&
        dd if="$1" of="$2/disk.002" $flags skip=$(($7 * 2048)) count=$8 bs=$9 conv=fsync status=none' \
        dd "$iso" "$out/dd_iso" "$l0" "$s0" "$l1" "$s1" "$l2" "$marker" "$chunk"
}

tools=(spanfetch dd cat)
[ "$with_image" = 1 ] && tools+=(spanfetch_iso dd_iso)
declare -A wall cpu utime stime rss
# One timed run of a tool: its output removed first, caches settled, then the
# wall time from the clock and user+system time and peak RSS from time(1).
timed_run() {
    local tool=$1 tf=$work/time.txt
    rm -rf "${out:?}/$tool"
    mkdir -p "$out/$tool"
    settle
    local start end
    start=$(date +%s%N)
    if ! "run_$tool"; then
        echo "error: the $tool run failed" >&2
        cat "$work/spanfetch.log" >&2 2>/dev/null || true
        exit 1
    fi
    end=$(date +%s%N)
    local user sys maxrss
    read -r user sys maxrss <"$tf"
    wall[$tool]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }') "
    cpu[$tool]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') "
    utime[$tool]+="$user "
    stime[$tool]+="$sys "
    rss[$tool]+="$maxrss "
}

echo "== $runs alternating runs of each (order rotates every round)"
for ((round = 0; round < runs; ++round)); do
    for ((k = 0; k < ${#tools[@]}; ++k)); do
        timed_run "${tools[$(((round + k) % ${#tools[@]}))]}"
    done
    printf '  round %d done\n' $((round + 1))
done

# median and min-max of a list of numbers
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f %.3f", m, v[1], v[NR] }'; }

echo
echo "== results ($runs runs each; page cache $([ "$can_drop" = 1 ] && echo dropped || echo not dropped) before each)"
printf '%-14s %9s %15s %7s %7s %7s %9s %9s\n' tool "median s" "min-max s" "MB/s" "user s" "sys s" "CPU/wall" "RSS KiB"
declare -A med
for tool in "${tools[@]}"; do
    read -r m lo hi <<<"$(median <<<"${wall[$tool]}")"
    read -r c _ _ <<<"$(median <<<"${cpu[$tool]}")"
    read -r u _ _ <<<"$(median <<<"${utime[$tool]}")"
    read -r y _ _ <<<"$(median <<<"${stime[$tool]}")"
    r=$(tr " " "\n" <<<"${rss[$tool]}" | grep . | sort -n | tail -1)
    med[$tool]=$m
    bytes=$copied
    [ "$tool" = cat ] && bytes=$catted
    label=$tool
    [ "$tool" = dd ] && label=dd-direct
    [ "$tool" = dd_iso ] && label=dd-iso
    printf '%-14s %9.3f %7.3f-%-7.3f %7.1f %7.2f %7.2f %8.1f%% %9d\n' "$label" "$m" "$lo" "$hi" \
        "$(awk -v b="$bytes" -v t="$m" 'BEGIN { print b / t / 1e6 }')" "$u" "$y" \
        "$(awk -v c="$c" -v t="$m" 'BEGIN { print 100 * c / t }')" "$r"
done
echo "(CPU and RSS: median user and system time, largest peak RSS, from time(1); dd's is the largest of its shell and three dd processes)"
for tool in "${tools[@]}"; do echo "  $tool walls (s, in run order): ${wall[$tool]}"; done
echo "bytes moved: spanfetch and dd $copied, cat $catted (whole part 2)"
ratio_dd=$(awk -v a="${med[spanfetch]}" -v b="${med[dd]}" 'BEGIN { printf "%.3f", a / b }')
ratio_cat=$(awk -v a="${med[spanfetch]}" -v b="${med[cat]}" 'BEGIN { printf "%.3f", a / b }')
# Ratios within each round too: the two runs of a pair are close in time, so
# slow spells of the device weigh less than in the ratio of medians.
paired() {
    paste -d ' ' <(tr ' ' '\n' <<<"${wall[spanfetch]}" | grep .) <(tr ' ' '\n' <<<"${wall[$1]}" | grep .) |
        awk '{ printf "%s ", $1 / $2 }' | median
}
echo "spanfetch/dd-direct wall $ratio_dd (ratio of medians); per round: median, min, max $(paired dd)"
echo "spanfetch/cat wall $ratio_cat (cat moves $((catted - copied)) bytes more); per round: $(paired cat)"
if [ "$with_image" = 1 ]; then
    ratio_iso=$(awk -v a="${med[spanfetch_iso]}" -v b="${med[dd_iso]}" 'BEGIN { printf "%.3f", a / b }')
    paired_iso=$(paste -d ' ' <(tr ' ' '\n' <<<"${wall[spanfetch_iso]}" | grep .) \
        <(tr ' ' '\n' <<<"${wall[dd_iso]}" | grep .) | awk '{ printf "%s ", $1 / $2 }' | median)
    echo "image file: spanfetch/dd-direct wall $ratio_iso (ratio of medians); per round: median, min, max $paired_iso"
fi
peak_kib=$(tr ' ' '\n' <<<"${rss[spanfetch]}" | grep . | sort -n | tail -1)
peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.1f", k / 1024 }')
echo "spanfetch peak RSS $peak_kib KiB ($peak_mib MiB), largest of the runs"

# System calls of one more (untimed) conversion, counted by strace.
per_chunk=n/a
chunks=$(awk -v b="$copied" -v c="$chunk" 'BEGIN { printf "%.2f", b / c }')
if command -v strace >/dev/null; then
    rm -rf "${out:?}/spanfetch"
    mkdir -p "$out/spanfetch"
    settle
    st=$work/strace.txt
    if strace -c -f -o "$st" "$spanfetch" "$src" "$out/spanfetch/disk" </dev/null >"$work/spanfetch.log"; then
        count() { awk -v n="$1" '$NF == n { print ($4 ~ /^[0-9]+$/) ? $4 : $3; f = 1 } END { if (!f) print 0 }' "$st"; }
        reads=$(($(count read) + $(count pread64)))
        writes=$(count write)
        total=$(awk '$NF == "total" { print ($4 ~ /^[0-9]+$/) ? $4 : $3 }' "$st")
        per_chunk=$(awk -v r="$reads" -v w="$writes" -v c="$chunks" 'BEGIN { printf "%.3f", (r + w) / c }')
        echo "system calls for $chunks chunks ($copied / $chunk): read+pread64 $reads, write $writes, all $total"
        awk -v c="$chunks" '$NF ~ /^[a-z_0-9]+$/ && $NF != "syscall" && $NF != "total" {
                n = ($4 ~ /^[0-9]+$/) ? $4 : $3; printf "  %-14s %7d  %.3f/chunk\n", $NF, n, n / c }' "$st" |
            sort -k2,2nr | head -8
        echo "read+write per chunk $per_chunk (all calls $(awk -v t="$total" -v c="$chunks" 'BEGIN { printf "%.3f", t / c }'))"
        if [ "$with_image" = 1 ]; then
            rm -rf "${out:?}/spanfetch_iso"
            mkdir -p "$out/spanfetch_iso"
            settle
            strace -c -f -o "$st" "$spanfetch" "$iso" "$out/spanfetch_iso/disk" </dev/null >"$work/spanfetch.log"
            reads=$(($(count read) + $(count pread64)))
            writes=$(count write)
            echo "image file: read+pread64 $reads, write $writes, read+write per chunk" \
                "$(awk -v r="$reads" -v w="$writes" -v c="$chunks" 'BEGIN { printf "%.3f", (r + w) / c }')"
        fi
    else
        echo "note: strace could not trace spanfetch; system calls not counted"
    fi
else
    echo "note: strace is missing; system calls not counted"
fi

# The outputs must be right: spanfetch's parts those the image builder expects,
# dd's the same bytes but for part 0's header, cat's the parts joined. cat's
# output goes first, to make room for the expected parts.
cmp -s "$out/cat/all" <(cat "$p0" "$p1" "$p2") || fail "cat output differs"
rm -rf "${out:?}/cat"
expected=$work/expected
mkdir -p "$expected"
"$mkimage" --expect "$expected" disk "$(IFS=,; echo "${sizes[*]}")" --marker "2:$marker" >/dev/null ||
    fail "mkimage --expect failed"
same_files "spanfetch" "$expected" "$out/spanfetch"
cmp -s -i 108 "$out/dd/disk.IMG" "$expected/disk.IMG" || fail "dd's part 0 differs past its header"
cmp -s "$out/dd/disk.001" "$expected/disk.001" || fail "dd's part 1 differs"
cmp -s "$out/dd/disk.002" "$expected/disk.002" || fail "dd's part 2 differs"
if [ "$with_image" = 1 ]; then
    same_files "spanfetch from the image" "$expected" "$out/spanfetch_iso"
    for part in disk.IMG disk.001 disk.002; do
        cmp -s "$out/dd/$part" "$out/dd_iso/$part" || fail "dd's $part from the image differs"
    done
fi
[ "$failures" -eq 0 ] && echo "outputs verified: spanfetch's parts as expected, part 2 cut at $marker, header rewritten"

if [ "$smoke" = 0 ]; then
    echo
    device_bench || fail "the device benchmark failed"
fi

finish "spanfetch/dd-direct wall $ratio_dd, peak RSS $peak_mib MiB, syscalls/chunk $per_chunk"

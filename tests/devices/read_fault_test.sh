#!/usr/bin/env bash
# Runs spanfetch with unreadable bytes in a source part (through a preloaded
# shim) and checks the outcome of each case.
# usage: read_fault_test.sh SPANFETCH MKIMAGE SHIM
set -u
spanfetch=$1 mkimage=$2 shim=$3
. "$(dirname "$0")/common.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A sanitizer build wants its runtime first; the shim only wraps pread.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

# Part 1 is 150000 bytes: chunks at 0, 63488 and 126976. A run that fails
# keeps part 0 and what it wrote of part 1 before the failing chunk (stop).
# case: name | marker in part 1 | fault offset | length | times | eintr | exit | stop
cases=(
  "marker before sectors that stay bad|43008|45056|8192|-1|0|0|"
  "unreadable sector and no marker|none|2048|2048|-1|0|4|1:0"
  "sector good on its fourth read but no marker|none|69632|2048|4|0|4|1:63488"
  "sector good on its second read, marker after it|90112|67584|2048|1|0|0|"
  "interrupted reads are retried|43008|-1|0|0|5|0|"
)

for entry in "${cases[@]}"; do
  IFS='|' read -r name marker offset length times eintr code stop <<<"$entry"
  case_dir=$(mktemp -d "$work/case.XXXXXX")
  src=$case_dir/disc dest=$case_dir/out/disk expected=$case_dir/expected
  mkdir -p "$src" "$case_dir/out" "$expected"
  image=("200000,150000")
  [ "$marker" = none ] || image+=(--marker "1:$marker")
  "$mkimage" "$src" "${image[@]}"
  if [ -n "$stop" ]; then
    "$mkimage" --expect "$expected" disk "${image[@]}" --stop "$stop" >/dev/null
  else
    "$mkimage" --expect "$expected" disk "${image[@]}" >/dev/null
  fi
  LD_PRELOAD="$shim" FAULT_FILE=/KORVADIS.001 FAULT_OFFSET=$offset FAULT_LENGTH=$length \
    FAULT_TIMES=$times FAULT_EINTR=$eintr "$spanfetch" "$src" "$dest" </dev/null >"$work/stdout"
  rc=$?
  out=$(cat "$work/stdout")
  [ "$rc" = "$code" ] || fail "$name: exit code $rc, wanted $code"
  if [ "$code" = 0 ]; then
    cmp -s "$work/stdout" <(expected_success "$src" "$dest" 2) || fail "$name: output differs: $out"
  else
    tail=$(printf '\nError reading from file %s/KORVADIS.001' "$src")
    [[ "$out" == *"$tail" ]] || fail "$name: output does not end in the read error: $out"
  fi
  same_files "$name" "$expected" "$case_dir/out"
  [ "$failures" = 0 ] && echo "ok: $name"
done

finish "PASS: read faults"

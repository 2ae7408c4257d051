# Shared by the device tests: expected output, file checks, skipping.
# A test that cannot run here exits 77, which CTest reports as skipped.

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
failures=0

# expected_success SOURCE_DIR DEST_BASE PART_COUNT: the output of a
# successful run over PART_COUNT parts.
expected_success() {
  local src=$1 dest=$2 parts=$3 i suffix
  printf '\n'
  for ((i = 0; i < parts; i++)); do
    if ((i == 0)); then suffix=IMG; else printf -v suffix '%03d' "$i"; fi
    printf '\nCopying file %s/KORVADIS.%s to %s.%s...' "$src" "$suffix" "$dest" "$suffix"
    ((i + 1 < parts)) && printf '\n'
  done
  printf '\nCompleted Successfuly\n'
}

# check_converted SRC_DIR DEST_BASE CUT_OFFSET: a two-part image cut in part 1
# at CUT_OFFSET, whose marker there supplies the header of part 0.
check_converted() {
  local src=$1 dest=$2 cut=$3
  cmp -s <(head -c "$cut" "$src/KORVADIS.001") "$dest.001" || fail "destination part 1 differs"
  [ "$(stat -c %s "$dest.001")" = "$cut" ] || fail "destination part 1 is not $cut bytes"
  cmp -s <(tail -c +109 "$src/KORVADIS.IMG") <(tail -c +109 "$dest.IMG") || fail "part 0 beyond the header differs"
  [ "$(head -c 3 "$dest.IMG")" = "IMG" ] || fail "part 0 signature is not IMG"
  cmp -s <(tail -c +$((cut + 4)) "$src/KORVADIS.001" | head -c 105) <(tail -c +4 "$dest.IMG" | head -c 105) \
    || fail "part 0 header is not the marker's"
}

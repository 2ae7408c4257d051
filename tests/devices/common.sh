# Shared by the device tests: the shell test library and the output of a successful run.
# shellcheck shell=bash
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

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

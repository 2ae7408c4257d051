#!/usr/bin/env bash
# Destination parts reach stable storage before the run reports them written:
# strace shows every part flushed before its close, the header rewrite flushed
# and the directory synced; a preloaded shim makes a flush or a close fail,
# which must end the run as a write failure naming that part.
# usage: flush_test.sh SPANFETCH MKIMAGE SHIM
set -u
spanfetch=$1 mkimage=$2 shim=$3
. "$(dirname "$0")/common.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A sanitizer build wants its runtime first; the shim only wraps three calls.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

# Two parts, the end marker in part 1 at 43008. STOP (PART:OFFSET), when
# given, is where a failed run leaves the parts as copied.
image=(200000,150000 --marker 1:43008)
fresh_case() {
  src=$work/$1/disc dest=$work/$1/out/disk expected=$work/$1/expected
  mkdir -p "$src" "$(dirname "$dest")" "$expected"
  "$mkimage" "$src" "${image[@]}" || fail "mkimage failed"
  if [ -n "${2:-}" ]; then
    "$mkimage" --expect "$expected" disk "${image[@]}" --stop "$2" >/dev/null
  else
    "$mkimage" --expect "$expected" disk "${image[@]}" >/dev/null
  fi
}

if command -v strace >/dev/null; then
  fresh_case traced
  ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" \
    strace -f -e trace=openat,fdatasync,fsync,close -o "$work/trace" "$spanfetch" "$src" "$dest" </dev/null >/dev/null
  rc=$?
  [ "$rc" = 0 ] || fail "traced run: exit code $rc"
  same_files "traced run" "$expected" "$(dirname "$dest")"
  # Per descriptor opened on a destination part: was it flushed before its close?
  report=$(awk -v dest="$dest" -v dir="$(dirname "$dest")" '
    /openat\(/ && /= [0-9]+$/ {
      name = $0; sub(/^[^"]*"/, "", name); sub(/".*$/, "", name)
      fd = $NF
      if (index(name, dest) == 1) { open_part[fd] = name; flushed[fd] = 0; opens++ }
      if (name == dir && /O_DIRECTORY/) dir_fd[fd] = 1
      next
    }
    /fdatasync\(/ { fd = $0; sub(/.*fdatasync\(/, "", fd); sub(/\).*/, "", fd); if (fd in open_part) flushed[fd] = 1 }
    /fsync\(/ { fd = $0; sub(/.*fsync\(/, "", fd); sub(/\).*/, "", fd); if (fd in dir_fd) dir_synced = 1 }
    /close\(/ {
      fd = $0; sub(/.*close\(/, "", fd); sub(/\).*/, "", fd)
      if (fd in open_part) { if (!flushed[fd]) print "closed unflushed: " open_part[fd]; else closes++; delete open_part[fd] }
    }
    END {
      print "opens " opens " flushed-closes " closes
      if (!dir_synced) print "directory not synced"
    }' "$work/trace")
  # part 0 created, part 1 created, part 0 reopened for the header: three opens, three flushed closes.
  [ "$report" = "opens 3 flushed-closes 3" ] || fail "flushes: $report"
else
  echo "SKIPPED part: strace is not installed, flush order not checked"
fi

# Nothing written is removed: the parts stay as written up to the failure.
# The header rewrite's write itself went through, only its flush failed.
# case: name | file the fault hits | call | matching calls before it | part named | parts left
cases=(
  "flush of part 1 fails|/out/disk.001|fdatasync|0|001|1:43008"
  "close of part 0 fails|/out/disk.IMG|close|0|IMG|0:200000"
  "flush of the header rewrite fails|/out/disk.IMG|fdatasync|1|IMG|"
  "sync of the destination directory fails|/out|fsync|0|IMG|1:43008"
)
n=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name file call skip suffix left <<<"$entry"
  n=$((n + 1))
  fresh_case "case$n" "$left"
  LD_PRELOAD="$shim" FLUSH_FAULT_FILE=$file FLUSH_FAULT_CALL=$call FLUSH_FAULT_SKIP=$skip \
    "$spanfetch" "$src" "$dest" </dev/null >"$work/stdout"
  rc=$?
  out=$(cat "$work/stdout")
  [ "$rc" = 6 ] || fail "$name: exit code $rc, wanted 6"
  tail=$(printf '\nError writing to file %s.%s' "$dest" "$suffix")
  [[ "$out" == *"$tail" ]] || fail "$name: output does not end in the write error: $out"
  [[ "$out" == *"Completed"* ]] && fail "$name: reported completion"
  same_files "$name" "$expected" "$(dirname "$dest")"
  [ "$failures" = 0 ] && echo "ok: $name"
done

finish "PASS: destination flushes"

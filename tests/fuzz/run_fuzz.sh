#!/usr/bin/env bash
# Builds the ISO9660 reader's libFuzzer target with clang++ (address and
# undefined-behaviour sanitizers), writes a seed corpus of built volumes and
# fuzzes for a bounded time, ending with libFuzzer's statistics.
# usage: run_fuzz.sh [SECONDS] [WORK_DIR]    (60 s and build/fuzz by default)
# The corpus found so far stays in WORK_DIR/corpus for the next run; a failing
# input is written to WORK_DIR as crash-*, leak-*, timeout-* or oom-*.
set -u
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${2:-$root/build/fuzz}

skip() { echo "SKIPPED: $*"; exit 77; }

command -v clang++ >/dev/null || skip "clang++ is not installed"
mkdir -p "$work/corpus"
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$work/probe.cpp"
clang++ -fsanitize=fuzzer "$work/probe.cpp" -o "$work/probe" 2>/dev/null ||
  skip "clang++ cannot link libFuzzer (its runtime, libclang-rt-dev, is missing)"

flags=(-std=c++17 -g -O1 -Wall -Wextra -Werror -I"$root")
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  "$root/tests/fuzz/iso9660_fuzz.cpp" "$root/platform/iso9660.cpp" -o "$work/iso9660_fuzz" || exit 1
clang++ "${flags[@]}" "$root/tests/fuzz/iso_seeds.cpp" "$root/tests/iso/iso_builder.cpp" -o "$work/iso_seeds" || exit 1
rm -rf "$work/seeds"
mkdir -p "$work/seeds"
"$work/iso_seeds" "$work/seeds" || exit 1

# Seeds take 40 to 110 KiB (the system area alone 32 KiB); inputs may grow to 128 KiB.
"$work/iso9660_fuzz" "$work/corpus" "$work/seeds" -max_total_time="$seconds" -max_len=131072 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$work/" >"$work/fuzz.log" 2>&1
rc=$?
if [ "$rc" != 0 ]; then
  tail -n 60 "$work/fuzz.log"
  echo "FAIL: the fuzzer stopped with status $rc (see $work/fuzz.log and the artifact there)"
  exit 1
fi
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$work/fuzz.log"
grep '^stat::' "$work/fuzz.log"
echo "PASS: ${seconds} s of fuzzing found nothing"

#!/usr/bin/env bash
# Builds spanfetch, generates a sample image in three parts and converts it.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target spanfetch mkimage >/dev/null

sample=build/sample
rm -rf "$sample"
mkdir -p "$sample/disc" "$sample/out"
# Three parts; the end marker sits 40 KiB into the last one.
build/default/mkimage "$sample/disc" 300K,200K,100K --marker 2:40K

build/default/spanfetch "$sample/disc" "$sample/out/disk"
echo
ls -l "$sample/out"
printf 'Signature of %s: ' "$sample/out/disk.IMG"
head -c 3 "$sample/out/disk.IMG"
echo

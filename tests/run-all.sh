#!/usr/bin/env bash
# Builds every configuration and runs every test: the default build, the
# sanitizer build, and the Windows build under wine where its tools exist.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in default sanitize; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j "$(nproc)"
done

if [ -f cmake/mingw-w64-x86_64.cmake ]; then
  echo "== windows build"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)"
  ctest --preset windows
fi

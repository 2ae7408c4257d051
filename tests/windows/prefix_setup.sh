#!/usr/bin/env bash
# Prepares the build's wine prefix once per test run: created if new, E: made a
# CD drive, and a wine server kept alive between the tests so each run starts fast.
set -euo pipefail
source "$(dirname "$0")/wine_lib.sh"
need_program "$WINE"

[ -f "$WINEPREFIX/system.reg" ] || timeout "$WINE_TIMEOUT" "$WINE" wineboot -i </dev/null >/dev/null 2>&1
run_wine reg add 'HKLM\Software\Wine\Drives' /v e: /d cdrom /f </dev/null >/dev/null
mkdir -p "$SCRATCH"
# Detached from ctest's pipes; it ends by itself once idle.
server="$(dirname "$(command -v "$WINE")")/wineserver"
[ -x "$server" ] || server=wineserver
"$server" -p30 </dev/null >/dev/null 2>&1 || true
echo "wine prefix ready: $WINEPREFIX"

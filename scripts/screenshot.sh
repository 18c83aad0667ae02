#!/usr/bin/env bash
# screenshot.sh BUILD_DIR OUTPUT.png [ping|hops [times] [max]]: the real window under
# Xvfb and Wine's normal driver. With ping or hops, the window of
# tests/screenshot_host.exe, which runs the scripted tool as ping (or tracert) on its
# page, so the picture shows a run; times shows the read times, max maximizes.
# SCREENSHOT_DPI=144 (or 192) shows it at 150 % (200 %).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
out=$2
run="${*:3}"
program="$build/vexlo.exe"
[ -n "$run" ] && program="$build/tests/screenshot_host.exe"
. "$here/wine-env.sh"
prefix="$build/wine/run-prefix"
display=:${SCREENSHOT_DISPLAY:-97}

dpi=${SCREENSHOT_DPI:-96}
Xvfb "$display" -screen 0 ${SCREENSHOT_SCREEN:-1600x1200}x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
  "$here/wine-prefix.sh" down "$prefix"
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1
"$here/wine-prefix.sh" up "$prefix" x11
WINEPREFIX="$prefix" "$WINE64" reg add 'HKLM\SOFTWARE\Quenmar\vexlo' /v Ver /d "Vexlo ${VEXLO_VERSION:-1.0.0}" /f </dev/null >/dev/null 2>&1
WINEPREFIX="$prefix" "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
WINEPREFIX="$prefix" "$WINE64" "$program" $run </dev/null >/dev/null 2>&1 &
sleep "${SCREENSHOT_WAIT:-5}"
mkdir -p "$(dirname "$out")"
# The screen is black beyond the window, so trimming leaves the window alone.
import -window root "$out"
convert "$out" -trim +repage "$out"
echo "wrote $out"

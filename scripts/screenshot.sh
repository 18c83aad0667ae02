#!/usr/bin/env bash
# screenshot.sh BUILD_DIR OUTPUT.png: the real window under Xvfb and Wine's normal driver.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
out=$2
. "$here/wine-env.sh"
prefix="$build/wine/run-prefix"
display=:${SCREENSHOT_DISPLAY:-97}

Xvfb "$display" -screen 0 800x600x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
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
WINEPREFIX="$prefix" "$WINE64" "$build/vexlo.exe" </dev/null >/dev/null 2>&1 &
sleep "${SCREENSHOT_WAIT:-5}"
mkdir -p "$(dirname "$out")"
import -window root -crop 560x520+120+40 +repage "$out"
echo "wrote $out"

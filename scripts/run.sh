#!/usr/bin/env bash
# run.sh BUILD_DIR: opens the program; on Linux under Wine, which needs a display.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
exe="$build/vexlo.exe"
case "$(uname -s)" in
  MINGW*|MSYS*|CYGWIN*) exec "$exe" ;;
esac
if [ -z "${DISPLAY:-}" ]; then
  echo "make run: no display (DISPLAY is not set). Run it from a desktop session," >&2
  echo "or take a picture headless with: make screenshot" >&2
  exit 1
fi
. "$here/wine-env.sh"
# A prefix of its own with Wine's normal graphics driver; the tests' prefix stays headless.
prefix="$build/wine/run-prefix"
"$here/wine-prefix.sh" up "$prefix" x11
trap '"$here/wine-prefix.sh" down "$prefix"' EXIT
# Not attached to this terminal: under Wine a program started from one takes it as
# its console, and could then not send Ctrl+C to a tool's console on Stop.
log="$build/wine/run.log"
echo "vexlo.exe is running; Wine's messages go to $log"
WINEPREFIX="$prefix" "$WINE64" "$exe" </dev/null >"$log" 2>&1

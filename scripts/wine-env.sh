# Sourced by the Wine scripts: where Wine's programs are, and the settings every run shares.
# Debian puts the 64-bit loader outside PATH.
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts: the program needs neither. No winemenubuilder: the install
# test's shortcuts would otherwise become menu entries of the Linux desktop.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}

#!/usr/bin/env bash
# wine-prefix.sh up|down PREFIX [null|x11]
#   up:   makes the private prefix once (reused afterwards), sets its graphics driver
#         and starts a persistent wineserver for it, so each test process starts fast.
#   down: ends that wineserver and everything still running in the prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
action=$1
export WINEPREFIX=$2
driver=${3:-null}

case "$action" in
  up)
    if [ ! -f "$WINEPREFIX/.vexlo-ready" ]; then
      mkdir -p "$WINEPREFIX"
      "$WINE64" wineboot -i </dev/null >"$WINEPREFIX/../wineboot.log" 2>&1
      "$WINESERVER" -w
      touch "$WINEPREFIX/.vexlo-ready"
    fi
    current=$(cat "$WINEPREFIX/.vexlo-driver" 2>/dev/null || true)
    if [ "$current" != "$driver" ]; then
      if [ "$driver" = null ]; then
        "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
      else
        "$WINE64" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f </dev/null >/dev/null 2>&1 || true
      fi
      "$WINESERVER" -w
      echo "$driver" >"$WINEPREFIX/.vexlo-driver"
    fi
    # Font linking and substitutes as a Windows machine has them, so that text in any
    # script finds a face: GDI links the UI font to the CJK and emoji faces, and
    # Uniscribe's fallback asks for the faces Windows ships (SimSun, Mangal, Microsoft
    # Sans Serif for Thai), which here are Noto's. Once per prefix.
    if [ ! -f "$WINEPREFIX/.vexlo-fonts" ]; then
      nt='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
      reg() { "$WINE64" reg add "$@" /f </dev/null >/dev/null 2>&1; }
      reg "$nt\FontLink\SystemLink" /v 'Liberation Sans' /t REG_MULTI_SZ \
        /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP\0NotoColorEmoji.ttf,Noto Color Emoji'
      reg "$nt\FontSubstitutes" /v SimSun /d 'Noto Sans CJK SC'
      reg "$nt\FontSubstitutes" /v Mangal /d 'Noto Sans Devanagari'
      reg "$nt\FontSubstitutes" /v 'Microsoft Sans Serif,222' /d 'Noto Sans Thai,222'
      "$WINESERVER" -w
      touch "$WINEPREFIX/.vexlo-fonts"
    fi
    # Streams redirected: a background server holding our stdout would keep ctest (and CI) waiting.
    # Already running (an earlier run that was cut short) is as good.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    # Wine's own services start with the first program and live as long as the server;
    # start them here, detached from our streams, or they would hold the caller's
    # output open after the tests.
    "$WINE64" wineboot </dev/null >/dev/null 2>&1
    ;;
  down)
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    ;;
  *) echo "usage: $0 up|down PREFIX [null|x11]" >&2; exit 2 ;;
esac

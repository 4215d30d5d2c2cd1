#!/bin/bash
# Makes the Wine prefix $WINEPREFIX ready for TrevnaConf and its tests; quick when it is ready.
#
#   scripts/wine-prefix.sh [--no-window-manager]
#
# - creates it (wineboot -i; under Xvfb when there is no display);
# - copies Wine's own fonts (Debian's fonts-wine: Marlett draws the caption buttons, Symbol the
#   definition editor's operators, Tahoma the dialogs) into C:\windows\Fonts. Debian's Wine does
#   not look where fonts-wine puts them, and without Marlett the caption buttons read "0 1 r";
# - --no-window-manager: Wine draws the windows' frames and captions itself (Xvfb runs no
#   window manager).
# Stamps in the prefix record what was done; a change of fonts-wine copies the fonts again.
# Runs under a lock, so parallel test programs prepare a prefix once.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
unmanaged=0
[ "${1:-}" = "--no-window-manager" ] && unmanaged=1
fonts=/usr/share/wine/fonts
stamp="$WINEPREFIX/.trevna-fonts"
unmanaged_stamp="$WINEPREFIX/.trevna-no-window-manager"
key="$(ls -l --time-style=+%s "$fonts" 2>/dev/null | cksum)"
ready() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] &&
    { [ "$unmanaged" -eq 0 ] || [ -f "$unmanaged_stamp" ]; }
}

if ready; then exit 0; fi
if [ ! -f "$fonts/marlett.ttf" ]; then
  echo "wine-prefix: $fonts/marlett.ttf missing (install fonts-wine: scripts/setup-system.sh)" >&2
  exit 1
fi

mkdir -p "$(dirname "$WINEPREFIX")"
exec 8>"${WINEPREFIX%/}.lock"
flock 8
if ready; then exit 0; fi  # made by another run meanwhile

export WINEDEBUG="${WINEDEBUG:--all}"
x=()
if [ -z "${DISPLAY:-}" ]; then x=(xvfb-run -a); fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-prefix: preparing $WINEPREFIX" >&2
  WINEDLLOVERRIDES="mscoree,mshtml=" "${x[@]}" wineboot -i >/dev/null 2>&1
fi
target="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$target"
cp -p "$fonts"/*.ttf "$fonts"/*.fon "$target"/
if [ "$unmanaged" -eq 1 ] && [ ! -f "$unmanaged_stamp" ]; then
  "${x[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  touch "$unmanaged_stamp"
fi
wineserver -w  # the registry is on disk before anything else starts
printf '%s\n' "$key" >"$stamp"

#!/bin/bash
# Makes a Wine prefix whose screen has DPI dots per inch, for the window tests at a high
# resolution: a prefix like the test prefix (scripts/wine-prefix.sh: Wine's fonts, no window
# manager), then the resolution where Wine's user32 reads it, the user's
# HKCU\Control Panel\Desktop\LogPixels. Quick when the prefix is ready.
#
#   dpi-prefix.sh PREFIX DPI
set -euo pipefail
prefix="$1"
dpi="$2"
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"
root="$(cd "$(dirname "$0")/../../.." && pwd)"
"$root/scripts/wine-prefix.sh" --no-window-manager
stamp="$prefix/.trevna-dpi"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$dpi" ]; then exit 0; fi
exec 8>"${prefix%/}.dpi-lock"
flock 8
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$dpi" ]; then exit 0; fi
x=()
if [ -z "${DISPLAY:-}" ]; then x=(xvfb-run -a); fi
"${x[@]}" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
wineserver -w
printf '%s\n' "$dpi" >"$stamp"

#!/bin/bash
# Runs the window tests (label gui) under Wine and Xvfb so that build/windows/artifacts/ holds
# fresh pictures of the real windows (the manual shows them); keeps them as PNG.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export TREVNA_WINEPREFIX="$root/build/windows/tests/wineprefix"
export WINEPREFIX="$TREVNA_WINEPREFIX" WINEDEBUG=-all
"$root/scripts/wine-prefix.sh" --no-window-manager >/dev/null || exit 1
(cd "$root/build/windows" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest -L gui -j2 --output-on-failure) || exit 1
wineserver -k 2>/dev/null || true
"$root/scripts/png-artifacts.sh" "$root/build/windows/artifacts"

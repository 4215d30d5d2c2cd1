#!/bin/sh
# Runs a Windows program under Wine with the build folder's own prefix, made ready (fonts) first.
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the build.
: "${WINEPREFIX:=${TREVNA_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
"$(dirname "$0")/../scripts/wine-prefix.sh" || exit 1
exec wine "$@"

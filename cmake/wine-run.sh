#!/bin/sh
# Runs a Windows program under Wine with the build folder's own prefix.
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the build.
: "${WINEPREFIX:=${TREVNA_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

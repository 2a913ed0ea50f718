#!/bin/sh
# Runs a Windows program under Wine, quietly and without the crash debugger:
# a 32-bit program through Debian's wine, a 64-bit one (after --win64) through
# the 64-bit loader itself, which works even where 32-bit code cannot run.
# WINEPREFIX comes from the caller (scripts/test.sh or a test's environment).
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree,mshtml=}"
if [ "${1:-}" = --win64 ]; then
  shift
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"

#!/bin/sh
# Runs a Windows program under Wine, quietly and without the crash debugger.
# WINEPREFIX comes from the caller (scripts/test.sh or a test's environment).
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree,mshtml=}"
exec wine "$@"

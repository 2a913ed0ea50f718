#!/usr/bin/env bash
# Sets up everything on a fresh machine, builds the Windows programs and runs
# the main job as far as it exists: under Wine, the installer's platform
# checks, its folders and a fresh work folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
mkdir -p "$BUILD"
setup_all
configure_and_build win32
probe="$BUILD/win32/tests/wine/platform_probe.exe"
for prefix in "$PREFIX32" "$PREFIX64"; do
  say "platform report in $(basename "$prefix")"
  WINEPREFIX="$prefix" wine "$probe" report </dev/null
done

#!/usr/bin/env bash
# Sets up everything on a fresh machine, builds the Windows programs and runs
# the main job as far as it exists: under Wine, the installer's platform
# checks, its folders and a fresh work folder; then the packaging tool packs
# the sample saver in examples/aquarium, lists the installer and verifies it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
mkdir -p "$BUILD"
setup_all
configure_and_build win32
if [ "$RUNS_32BIT" = yes ]; then
  probe="$BUILD/win32/tests/wine/platform_probe.exe"
  loader=wine
else
  # The product is the 32-bit build; here only its 64-bit twin can run.
  say "32-bit programs cannot run here: the platform report comes from the 64-bit twin"
  configure_and_build win64
  probe="$BUILD/win64/tests/wine/platform_probe.exe"
  loader=$WINE64_LOADER
fi
for prefix in "${PREFIXES[@]}"; do
  say "platform report in $(basename "$prefix")"
  WINEPREFIX="$prefix" "$loader" "$probe" report </dev/null
done

say "building saverpack (preset host)"
cmake --preset host >"$BUILD/configure-host.log" 2>&1 || { cat "$BUILD/configure-host.log"; exit 1; }
if ! cmake --build --preset host -j2 --target saverpack >"$BUILD/build-saverpack.log" 2>&1; then
  grep -E -A3 'error|Error' "$BUILD/build-saverpack.log" | head -n 60
  exit 1
fi
saverpack="$BUILD/host/tools/saverpack/saverpack"
installer="$BUILD/demo/Aquarium.exe"
mkdir -p "$(dirname "$installer")"
say "saverpack build examples/aquarium/package.json"
"$saverpack" build "$ROOT/examples/aquarium/package.json" -o "$installer" \
  --library "$BUILD/win32/implode/impborl.dll"
say "saverpack list"
"$saverpack" list "$installer"
say "saverpack verify"
"$saverpack" verify "$installer"

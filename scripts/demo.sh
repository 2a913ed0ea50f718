#!/usr/bin/env bash
# The main job on the bundled example, from a fresh machine: builds the
# installer, packs the sample saver of examples/aquarium into a real installer
# with saverpack (listed and verified), registers the stand-in player control
# in a private Wine prefix, runs the installer quietly ("/q") under the logging
# launcher and prints what happened: the exit code, the launcher's commands,
# the files placed, the uninstall entry and the work folder gone.
#
# The 32-bit installer runs natively where this machine runs 32-bit code, and
# elsewhere in the emulated 32-bit machine (scripts/lib/vm32.sh). With
# VLX_NO_VM=1 on such a machine, the same package is packed behind the
# installer's 64-bit test twin and that runs instead.
#
# scripts/demo.sh --interactive runs the installer in its window instead, on
# a virtual display: it waits for the ready window, clicks "Accept and
# Install", answers the control panel question with Yes, and keeps pictures
# of the ready and the completed window in build/demo/.
set -euo pipefail
mode=quiet
case "${1:-}" in
  "") ;;
  --interactive) mode=interactive ;;
  *) echo "usage: scripts/demo.sh [--interactive]" >&2; exit 2 ;;
esac
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
mkdir -p "$BUILD"
setup_all
if [ "$USE_VM" = yes ]; then
  vm_build_image >"$BUILD/vm-image.out" 2>&1 &
  image_job=$!
fi
configure_and_build win32 host
windows=win32
if [ "$RUNS_32BIT" = no ] && [ "$USE_VM" = no ]; then
  say "32-bit programs cannot run here: the demo runs the installer's 64-bit test twin"
  configure_and_build win64
  windows=win64
fi

saverpack="$BUILD/host/tools/saverpack/saverpack"
product="$BUILD/demo/Aquarium.exe"
rm -rf "$BUILD/demo"
mkdir -p "$BUILD/demo"
say "saverpack build examples/aquarium/package.json (the 32-bit product)"
"$saverpack" build "$ROOT/examples/aquarium/package.json" -o "$product" \
  --stub "$BUILD/win32/src/app/win32/installer.exe" --library "$BUILD/win32/implode/impborl.dll"
say "saverpack list"
"$saverpack" list "$product"
say "saverpack verify"
"$saverpack" verify "$product"

installer=$product
if [ "$windows" = win64 ]; then
  installer="$BUILD/demo/Aquarium-twin64.exe"
  image_size=$(cat "$BUILD/win64/src/app/win32/installer_image_size.txt")
  "$BUILD/host/tests/twin_pack" "$ROOT/examples/aquarium/package.json" "$installer" \
    "$BUILD/win64/src/app/win32/installer.exe" "$BUILD/win64/implode/impborl.dll" "$image_size"
fi

if [ "$USE_VM" = yes ]; then
  wait "$image_job" || { cat "$BUILD/vm-image.out"; exit 1; }
  cat "$BUILD/vm-image.out"
  say "running the 32-bit installer in the emulated 32-bit machine"
  work="$BUILD/vm-demo-work.sh"
  cat >"$work" <<WORK
source scripts/lib/setup.sh
trap stop_all EXIT
start_display
export VLX_WAIT_SCALE=$VM_WAIT_SCALE
bash scripts/lib/demo-run.sh win32 $(printf '%q' "$installer") "\$VM_OUT" $mode >"\$VM_OUT/demo.out" 2>&1
WORK
  code=0
  vm_run demo "$work" win32 demo || code=$?
  [ -f "$VM_OUT/demo.out" ] && tr -d '\r' <"$VM_OUT/demo.out"
  output=$VM_OUT
  [ "$code" -eq 0 ] || exit "$code"
else
  output="$BUILD/demo"
  bash "$ROOT/scripts/lib/demo-run.sh" "$windows" "$installer" "$output" "$mode"
fi

for dump in "$output"/*.xwd; do
  [ -f "$dump" ] || continue
  name=$(basename "$dump" .xwd)
  convert "xwd:$dump" -crop "$(cat "$output/$name.rect")" +repage "$BUILD/demo/$name.png"
  echo "picture: build/demo/$name.png"
done

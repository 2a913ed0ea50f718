#!/usr/bin/env bash
# The main job on the bundled example, from a fresh machine: builds the
# installer, packs the sample saver of examples/aquarium into a real installer
# with saverpack (listed and verified), registers the stand-in player control
# in a private Wine prefix, runs the installer quietly ("/q") under the logging
# launcher and prints what happened: the exit code, the launcher's commands,
# the files placed, the uninstall entry and the work folder gone. Where 32-bit
# programs cannot run, the same package is packed behind the installer's
# 64-bit test twin and that runs instead.
#
# scripts/demo.sh --interactive runs the installer in its window instead, on
# a virtual display: it waits for the ready window, clicks "Accept and
# Install", answers the control panel question with Yes, and keeps pictures
# of the ready and the completed window in build/demo/.
set -euo pipefail
interactive=no
case "${1:-}" in
  "") ;;
  --interactive) interactive=yes ;;
  *) echo "usage: scripts/demo.sh [--interactive]" >&2; exit 2 ;;
esac
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
mkdir -p "$BUILD"
setup_all
configure_and_build win32 host
if [ "$RUNS_32BIT" = yes ]; then
  windows=win32
  loader=$WINE32_LOADER
  demo_prefix="$WINE_DIR/demo32"
  demo_arch=win32
else
  say "32-bit programs cannot run here: the demo runs the installer's 64-bit test twin"
  configure_and_build win64
  windows=win64
  loader=$WINE64_LOADER
  demo_prefix="$WINE_DIR/demo64"
  demo_arch=win64
fi

saverpack="$BUILD/host/tools/saverpack/saverpack"
product="$BUILD/demo/Aquarium.exe"
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

say "a private Wine prefix with the stand-in player control registered"
rm -rf "$demo_prefix"
WINEPREFIX="$demo_prefix" make_prefix "$demo_arch" "$demo_prefix"
export WINEPREFIX="$demo_prefix"
wineserver -p
drive="$demo_prefix/drive_c"
mkdir -p "$drive/demo"
cp "$BUILD/$windows/tests/wine/standin_player.ocx" "$BUILD/$windows/tests/wine/launcher.exe" \
  "$drive/demo/"
cp "$installer" "$drive/demo/Aquarium.exe"
"$loader" regsvr32 /s 'C:\demo\standin_player.ocx' </dev/null

if [ "$interactive" = no ]; then
  say "running C:\\demo\\Aquarium.exe /q under the logging launcher"
  "$loader" 'C:\demo\launcher.exe' 'C:\demo\launcher.log' 'C:\demo\Aquarium.exe' /q </dev/null >/dev/null
else
  # Wine draws the window frames itself: there is no window manager.
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null
  cp "$BUILD/$windows/tests/wine/window_driver.exe" "$drive/demo/"
  drive_window() { "$loader" 'C:\demo\window_driver.exe' "$@" </dev/null | tr -d '\r'; }
  picture() { # name
    import -window root -crop "$(drive_window rect)" "$BUILD/demo/$1.png"
    echo "  picture: build/demo/$1.png"
  }
  say "running C:\\demo\\Aquarium.exe in its window under the logging launcher (display $DISPLAY)"
  "$loader" 'C:\demo\launcher.exe' 'C:\demo\launcher.log' 'C:\demo\Aquarium.exe' </dev/null >/dev/null &
  launcher_pid=$!
  printf '  ready: %s\n' "$(drive_window ready 120)"
  picture installer-ready
  echo '  clicking "Accept and Install"'
  drive_window click "Accept and Install"
  printf '  question: %s\n' "$(drive_window dialog Confirm 180 | tr '\n' ' ')"
  printf '  status line: %s\n' "$(drive_window status)"
  picture installer-complete
  echo '  answering "Yes"'
  drive_window answer Confirm "&Yes"
  drive_window end 60
  wait "$launcher_pid"
fi
wineserver -k || true

say "what the launcher received"
while read -r kind rest; do
  case "$kind" in
    copydata)
      bytes=${rest##*bytes=}
      printf '  command: "%s"\n' "$(printf '%s' "$bytes" | xxd -r -p | tr '\0' '|' | sed 's/|*$//; s/|/\\0/g')"
      ;;
    post) printf '  close notification: %s\n' "$rest" ;;
    exit) printf '  installer exit code: %s\n' "$rest" ;;
  esac
done <"$drive/demo/launcher.log"

say "files placed"
common=$(find "$drive" -maxdepth 3 -type d \( -name 'ProgramData' -o -path '*All Users/Application Data' \) | head -n 1)
find "$common/Vellarmont" -type f | sed "s|^$drive|  C:|" | sort
find "$drive/windows/system32" -maxdepth 1 -iname 'Aquarium*' | sed "s|^$drive|  C:|"
say "uninstall entry"
"$loader" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Aquarium' </dev/null |
  sed -n '/REG_SZ/p' | sed 's/^ */  /'
wineserver -k || true
say "work folder"
work=$(find "$drive/users" -type d -path '*Vellarmont/Vlx*' 2>/dev/null | head -n 1)
if [ -z "$work" ]; then echo "  gone (no Vellarmont\\Vlx* folder left)"; else echo "  LEFT: $work"; exit 1; fi

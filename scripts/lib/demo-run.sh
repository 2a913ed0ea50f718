#!/usr/bin/env bash
# The Wine half of scripts/demo.sh, run where the installer's programs can
# run: on this machine, or inside the emulated 32-bit machine (vm32.sh). It
# makes a private Wine prefix with the stand-in player control registered,
# runs the installer under the logging launcher (quietly, or in its window
# driven by window_driver.exe) and prints what happened. Pictures of the
# window are kept as X window dumps (NAME.xwd, with the window's place in
# NAME.rect) in the output folder; demo.sh turns them into PNG files.
#
#   demo-run.sh WINDOWS INSTALLER OUTPUT quiet|interactive
#
# WINDOWS is the build whose fixtures and loader are used: win32 (the
# product) or win64 (the 64-bit twin). A display must be running ($DISPLAY).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
windows=$1 installer=$2 output=$3 mode=$4
if [ "$windows" = win32 ]; then
  loader=$WINE32_LOADER demo_arch=win32
else
  loader=$WINE64_LOADER demo_arch=win64
fi
demo_prefix="$WINE_DIR/demo-$demo_arch"
mkdir -p "$output"

say "a private Wine prefix with the stand-in player control registered"
rm -rf "$demo_prefix"
make_prefix "$demo_arch" "$demo_prefix"
export WINEPREFIX="$demo_prefix"
wineserver -p
drive="$demo_prefix/drive_c"
mkdir -p "$drive/demo"
cp "$BUILD/$windows/tests/wine/standin_player.ocx" "$BUILD/$windows/tests/wine/launcher.exe" \
  "$drive/demo/"
cp "$installer" "$drive/demo/Aquarium.exe"
"$loader" regsvr32 /s 'C:\demo\standin_player.ocx' </dev/null

if [ "$mode" = quiet ]; then
  say "running C:\\demo\\Aquarium.exe /q under the logging launcher"
  "$loader" 'C:\demo\launcher.exe' 'C:\demo\launcher.log' 'C:\demo\Aquarium.exe' /q </dev/null >/dev/null
else
  # Wine draws the window frames itself: there is no window manager.
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null
  cp "$BUILD/$windows/tests/wine/window_driver.exe" "$drive/demo/"
  drive_window() { "$loader" 'C:\demo\window_driver.exe' "$@" </dev/null | tr -d '\r'; }
  picture() { # name
    # A dialog that has just appeared paints a moment later: seconds on the
    # emulated machine, whose waits VLX_WAIT_SCALE stretches.
    sleep "${VLX_WAIT_SCALE:-1}"
    drive_window rect >"$output/$1.rect"
    xwd -root -silent -display "$DISPLAY" -out "$output/$1.xwd"
    echo "  picture: $1"
  }
  say "running C:\\demo\\Aquarium.exe in its window under the logging launcher (display $DISPLAY)"
  "$loader" 'C:\demo\launcher.exe' 'C:\demo\launcher.log' 'C:\demo\Aquarium.exe' </dev/null >/dev/null &
  launcher_pid=$!
  printf '  ready: %s\n' "$(drive_window ready 300)"
  picture installer-ready
  echo '  clicking "Accept and Install"'
  drive_window click "Accept and Install"
  printf '  question: %s\n' "$(drive_window dialog Confirm 300 | tr '\n' ' ')"
  printf '  status line: %s\n' "$(drive_window status)"
  picture installer-complete
  echo '  answering "Yes"'
  drive_window answer Confirm "&Yes"
  drive_window end 120
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
for system in "$drive/windows/system32" "$drive/windows/syswow64"; do
  if [ -d "$system" ]; then find "$system" -maxdepth 1 -iname 'Aquarium*' | sed "s|^$drive|  C:|"; fi
done
say "uninstall entry"
"$loader" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Aquarium' </dev/null |
  sed -n '/REG_SZ/p' | sed 's/^ */  /'
wineserver -k || true
say "work folder"
work=$(find "$drive/users" -type d -path '*Vellarmont/Vlx*' 2>/dev/null | head -n 1)
if [ -z "$work" ]; then echo "  gone (no Vellarmont\\Vlx* folder left)"; else echo "  LEFT: $work"; exit 1; fi

#!/usr/bin/env bash
# The Wine half of bench/install_bench.sh, run where the set's programs run: on this machine, or
# inside the emulated 32-bit machine. It makes one fresh Wine prefix (the stand-in player
# control registered: the installer needs a player even when it installs quietly) and runs the
# contenders there under install_probe.exe, interleaved, ROUNDS times:
#   ours        the installer, quietly: ours.exe /l=<probe's window> /q
#   copy        Wine's xcopy /E /I /Q /Y of the expanded saver folder into a fresh folder
#   nsis-zlib   the NSIS installers, /S /D=<a fresh folder>
#   nsis-lzma
# Each run is checked (exit code 0; the files placed, their count and bytes, the same as the
# tree's; the engine in the system folder; our work folder gone) and its files, engine and
# uninstall entry are removed before the next. One line per run goes to LOG:
#   run set=SET round=R contender=NAME exit=N total_ms=T ready_ms=R active_ms=A watch_ms=W
#       peak_ws=B messages=M files=F bytes=Y
# A run that fails ends the bench: a line naming the contender and round, exit code 1.
#
#   install-run.sh WINDOWS SET PAYLOAD LOG ROUNDS
#
# WINDOWS: win32 (a 32-bit prefix, Wine's 32-bit loader) or win64 (the twin's). SET: the folder
# with ours.exe, nsis-zlib.exe, nsis-lzma.exe, install_probe.exe and standin_player.ocx.
# PAYLOAD: the folder saver_payload wrote (tree/ and files/). A display must be running.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/setup.sh"
windows=$1 set=$2 payload=$3 log=$4 rounds=$5
if [ "$windows" = win32 ]; then loader=$WINE32_LOADER; else loader=$WINE64_LOADER; fi
prefix="$BUILD/install-bench/prefix-$windows"
set_name=$(basename "$set")

fail() { echo "installation benchmark failed: $*" >&2; exit 1; }

say "a fresh Wine prefix ($windows) with the stand-in player control registered"
rm -rf "$prefix"
make_prefix "$windows" "$prefix"
export WINEPREFIX="$prefix"
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
drive="$prefix/drive_c"
mkdir -p "$drive/bench" "$drive/out"
cp "$set"/ours.exe "$set"/nsis-zlib.exe "$set"/nsis-lzma.exe "$set"/install_probe.exe \
  "$set"/standin_player.ocx "$drive/bench/"
cp -r "$payload/tree" "$drive/bench/tree"
in_wine() { "$loader" "$@" </dev/null; }
in_wine regsvr32 /s 'C:\bench\standin_player.ocx'
# The display has no window manager: Wine would wait up to a second for one to take each
# window it hides (the installer's start-up window), which no desktop makes a program wait.
in_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
system="$drive/windows/system32"
saver="$drive/ProgramData/Vellarmont/Lagoon"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

tree_files=$(find "$payload/tree" -type f | wc -l)
tree_bytes=$(find "$payload/tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
say "the tree to place: $tree_files files, $tree_bytes bytes"

# Checks what a run placed in FOLDER against the tree; the settings record is the installer's
# own (same size, other values), so its bytes are left out of our comparison.
check_placed() { # contender round folder
  local name=$1 round=$2 folder=$3
  [ -d "$folder" ] || fail "$name, round $round: nothing was placed in $folder"
  placed_files=$(find "$folder" -type f | wc -l)
  placed_bytes=$(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$placed_files" -eq "$tree_files" ] && [ "$placed_bytes" -eq "$tree_bytes" ] ||
    fail "$name, round $round: placed $placed_files files and $placed_bytes bytes, not $tree_files and $tree_bytes"
  local exclude=()
  [ "$name" = ours ] && exclude=(-x saver.dat)
  diff -rq "${exclude[@]}" "$payload/tree" "$folder" >/dev/null ||
    fail "$name, round $round: the files placed differ from the tree's"
}

check_engine() { # contender round
  cmp -s "$payload/files/Lagoon.scr" "$system/Lagoon.scr" ||
    fail "$1, round $2: the engine is not in the system folder as packed"
}

# Runs one contender under the probe; the probe's line goes to $probe_line.
probe() { # contender round probe-argument...
  local name=$1 round=$2
  shift 2
  local output code=0
  # What the run before wrote is on the disk first, not flushed during this one.
  sync
  # A run that has not ended after 600 s (ten times the slowest seen) is stopped and fails.
  output=$(in_wine 'C:\bench\install_probe.exe' --limit=600 "$@" | tr -d '\r') || code=$?
  probe_line=$(printf '%s\n' "$output" | grep '^probe ' | tail -n 1)
  [ "$code" -eq 0 ] && [ -n "$probe_line" ] ||
    fail "$name, round $round: the probe ended with exit code $code: $(printf '%s' "$output" | tail -n 1)"
  local exit_code=${probe_line#probe exit=}
  exit_code=${exit_code%% *}
  [ "$exit_code" = 0 ] || fail "$name, round $round: exit code $exit_code"
}

record() { # contender round
  echo "run set=$set_name round=$2 contender=$1 ${probe_line#probe } files=$placed_files bytes=$placed_bytes" |
    tee -a "$log"
}

rm -f "$log"
for round in $(seq "$rounds"); do
  say "round $round of $rounds"
  # Wine's own services are up before anything is timed.
  in_wine cmd /c exit

  probe ours "$round" "--watch=C:\\ProgramData\\Vellarmont\\Lagoon" 'C:\bench\ours.exe' '/l=%HWND%' /q
  check_placed ours "$round" "$saver"
  check_engine ours "$round"
  work=$(find "$drive/users" -type d -path '*Vellarmont/Vlx*' 2>/dev/null | head -n 1)
  [ -z "$work" ] || fail "ours, round $round: the work folder is left: $work"
  in_wine reg query "$uninstall\\Lagoon" >/dev/null 2>&1 || fail "ours, round $round: no uninstall entry"
  record ours "$round"
  rm -rf "$saver" "$system/Lagoon.scr"
  in_wine reg delete "$uninstall\\Lagoon" /f >/dev/null 2>&1

  probe copy "$round" --watch="C:\\out\\copy" 'C:\windows\system32\xcopy.exe' 'C:\bench\tree' \
    'C:\out\copy' /E /I /Q /Y
  check_placed copy "$round" "$drive/out/copy"
  record copy "$round"
  rm -rf "$drive/out/copy"

  for nsis in nsis-zlib nsis-lzma; do
    probe "$nsis" "$round" "--watch=C:\\out\\$nsis" "C:\\bench\\$nsis.exe" /S "/D=C:\\out\\$nsis"
    check_placed "$nsis" "$round" "$drive/out/$nsis"
    check_engine "$nsis" "$round"
    record "$nsis" "$round"
    rm -rf "$drive/out/$nsis" "$system/Lagoon.scr"
    in_wine reg delete "$uninstall\\LagoonNsis" /f >/dev/null 2>&1 ||
      fail "$nsis, round $round: no uninstall entry"
  done
done

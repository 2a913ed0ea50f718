#!/usr/bin/env bash
# The installation benchmark: how long a quiet installation of a large saver takes, against
# copying the same files with Wine's xcopy and against NSIS 3.08 installers (solid zlib and
# solid lzma) placing them, all run in one fresh Wine prefix, interleaved, on one machine.
#
#   bench/install_bench.sh [--pack-only]
#
# From a fresh Debian machine, as root: installs the packages (with Debian's nsis), builds what
# it needs, writes the saver "Lagoon" (bench/saver_payload.cpp: 1000 data files, exactly
# 52,428,800 bytes, and the saver's own files) and packs it: behind the 32-bit installer.exe
# with saverpack, behind the 64-bit twin with twin_pack, and with makensis (x86 and amd64
# stubs). --pack-only stops there. Everything lands in build/install-bench/.
#
# The 32-bit contenders run where 32-bit code runs: natively with Wine's 32-bit half, else in
# the emulated 32-bit machine (scripts/lib/vm32.sh). The twin runs natively under wine64
# against xcopy and NSIS's amd64 stubs. Each set of ratios comes from one machine in one run.
# VLX_BENCH_ROUNDS sets the rounds (default 3); VLX_NO_VM=1 runs the twin only.
set -euo pipefail
pack_only=no
case "${1:-}" in
  "") ;;
  --pack-only) pack_only=yes ;;
  *) echo "usage: bench/install_bench.sh [--pack-only]" >&2; exit 2 ;;
esac
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/setup.sh"
BENCH="$BUILD/install-bench"
ROUNDS=${VLX_BENCH_ROUNDS:-3}
[[ "$ROUNDS" =~ ^[1-9][0-9]?$ ]] || { echo "VLX_BENCH_ROUNDS must be a whole number from 1 to 99, not \"$ROUNDS\"" >&2; exit 2; }

# Space for the payload and its expanded tree (110 MB), six installers (280 MB), a Wine prefix
# with two installed copies and the tree inside it (700 MB), and the builds; the emulated
# machine needs its own on top.
BENCH_SPACE_MB=2500
free_mb() { df --output=avail -BM "$1" | tail -n 1 | tr -dc '0-9'; }
mkdir -p "$BENCH"
# One run at a time: a second one would remake the first one's prefix under it.
running="$BENCH/running.pid"
other=$(cat "$running" 2>/dev/null || true)
if [[ "$other" =~ ^[0-9]+$ ]] && [ "$other" != $$ ] && grep -qs install_bench "/proc/$other/cmdline"; then
  echo "another installation benchmark (process $other) is running in $BENCH" >&2
  exit 1
fi
echo $$ >"$running"
trap 'rm -f "$running"' EXIT
need=$BENCH_SPACE_MB
probe_32bit
# The emulated machine runs the 32-bit contenders unless Wine's 32-bit half is here already.
if [ "${VLX_NO_VM:-0}" != 1 ] && { [ "$RUNS_32BIT" = no ] ||
    ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; }; then
  need=$((need + VM_SPACE_MB))
fi
free=$(free_mb "$BENCH")
if [ "${free:-0}" -lt "$need" ]; then
  echo "not enough disk space for the installation benchmark: ${free:-0} MB free in $BENCH, $need MB needed" >&2
  exit 1
fi

# --- set-up -----------------------------------------------------------------------------------
if [ "$RUNS_32BIT" = no ] && [ "${VLX_NO_VM:-0}" != 1 ]; then USE_VM=yes; fi
PACKAGES+=(nsis)
install_packages >"$BENCH/packages.log" 2>&1 || { cat "$BENCH/packages.log"; exit 1; }
if [ "$RUNS_32BIT" = yes ] && ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
  RUNS_32BIT=no
  NO_32BIT_REASON="Wine's 32-bit loader does not start"
  if [ "${VLX_NO_VM:-0}" != 1 ]; then USE_VM=yes; install_missing "${VM_HOST_PACKAGES[@]}"; fi
fi
if ! command -v wineserver >/dev/null || ! "$WINE64_LOADER" --version >/dev/null 2>&1; then
  echo "no Wine: $WINE64_LOADER or wineserver does not start after the set-up" >&2
  exit 1
fi
if [ "$RUNS_32BIT" = yes ]; then
  say "32-bit programs run here: the 32-bit contenders run natively"
elif [ "$USE_VM" = yes ]; then
  say "32-bit programs cannot run here ($NO_32BIT_REASON): the 32-bit contenders run in the emulated 32-bit machine"
else
  say "32-bit programs cannot run here ($NO_32BIT_REASON): only the 64-bit twin runs"
fi
command -v makensis >/dev/null || { echo "no makensis after the set-up (Debian package nsis)" >&2; exit 1; }
build_libjpeg_mingw

# Builds only the named targets of a preset, configured as configure_and_build does.
build_targets() { # preset target...
  local preset=$1
  shift
  local jpeg=$JPEG_MINGW32 scale=1
  [ "$preset" = win64 ] && jpeg=$JPEG_MINGW64
  [ "$preset" = win32 ] && [ "$USE_VM" = yes ] && scale=$VM_WAIT_SCALE
  say "building $* ($preset)"
  cmake --preset "$preset" -DVLX_WINE_PREFIX32="$PREFIX32" -DVLX_WINE_PREFIX64="$PREFIX64" \
    -DVLX_JPEG_MINGW="$jpeg" -DVLX_WAIT_SCALE="$scale" >"$BENCH/configure-$preset.log" 2>&1 ||
    { cat "$BENCH/configure-$preset.log"; exit 1; }
  cmake --build --preset "$preset" -j2 --target "$@" >"$BENCH/build-$preset.log" 2>&1 ||
    { grep -E -A3 'error|Error' "$BENCH/build-$preset.log" | head -n 60; exit 1; }
}
windows_targets=(installer impborl standin_player install_probe)
build_targets host saverpack twin_pack saver_payload
build_targets win64 "${windows_targets[@]}"
run32=no
if [ "$RUNS_32BIT" = yes ] || [ "$USE_VM" = yes ]; then
  run32=yes
  build_targets win32 "${windows_targets[@]}"
fi

# --- the saver and its installers -------------------------------------------------------------
saverpack="$BUILD/host/tools/saverpack/saverpack"
payload="$BENCH/payload"
say "writing the saver Lagoon to $payload"
rm -rf "$payload"
"$BUILD/host/bench/saver_payload" "$payload"
# NSIS keeps the files' times: fixed ones make the same installers on every run.
find "$payload" -exec touch -h -d '2026-01-01 00:00:00 UTC' {} +

# An NSIS script that places the same files: the saver folder's tree in the folder given with
# /D=, the engine in the system folder, and an uninstall entry. Quiet with /S.
write_nsis() { # compressor target out.nsi installer-name
  cat >"$3" <<NSI
Unicode true
Target $2
SetCompressor /SOLID $1
Name "Lagoon"
OutFile "$4"
InstallDir "\$PROGRAMFILES\\Lagoon"
RequestExecutionLevel admin
Page directory
Page instfiles
Section
  SetOutPath "\$INSTDIR"
  File /r "tree\\*"
  SetOutPath "\$SYSDIR"
  File "files\\Lagoon.scr"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LagoonNsis" "DisplayName" "Lagoon"
SectionEnd
NSI
}

pack_set() { # folder windows(win32|win64)
  local folder=$1 windows=$2 target=x86-unicode
  [ "$windows" = win64 ] && target=amd64-unicode
  rm -rf "$folder" && mkdir -p "$folder"
  if [ "$windows" = win32 ]; then
    say "saverpack build: Lagoon behind the 32-bit installer.exe"
    "$saverpack" build "$payload/package.json" -o "$folder/ours.exe" --quiet \
      --stub "$BUILD/win32/src/app/win32/installer.exe" --library "$BUILD/win32/implode/impborl.dll"
  else
    say "twin_pack: Lagoon behind the 64-bit twin"
    "$BUILD/host/tests/twin_pack" "$payload/package.json" "$folder/ours.exe" \
      "$BUILD/win64/src/app/win32/installer.exe" "$BUILD/win64/implode/impborl.dll" \
      "$(cat "$BUILD/win64/src/app/win32/installer_image_size.txt")" >/dev/null
  fi
  local compressor
  for compressor in zlib lzma; do
    say "makensis: SetCompressor /SOLID $compressor ($target)"
    write_nsis "$compressor" "$target" "$payload/nsis-$compressor-$windows.nsi" "$folder/nsis-$compressor.exe"
    makensis -V2 "$payload/nsis-$compressor-$windows.nsi" >"$folder/nsis-$compressor.log" 2>&1 ||
      { cat "$folder/nsis-$compressor.log"; exit 1; }
  done
  cp "$BUILD/$windows/tests/wine/standin_player.ocx" "$BUILD/$windows/bench/install_probe.exe" "$folder/"
}
# The largest stored entry of an installer, from saverpack list.
largest_entry() { # installer
  "$saverpack" list "$1" | awk '/^entry/ { table = 1; next } NF == 0 { table = 0 }
    table && $1 ~ /^[0-9]+$/ && $6 > max { max = $6 } END { print max + 0 }'
}

pack_set "$BENCH/twin" win64
[ "$run32" = yes ] && pack_set "$BENCH/win32" win32
for set in twin win32; do
  [ -d "$BENCH/$set" ] || continue
  largest_entry "$BENCH/$set/ours.exe" >"$BENCH/$set/largest-entry"
  for exe in "$BENCH/$set"/{ours,nsis-zlib,nsis-lzma}.exe; do printf '  %s/%s: %d bytes\n' "$set" "$(basename "$exe")" "$(stat -c %s "$exe")"; done
done
[ "$pack_only" = yes ] && { say "packed; the installers are in $BENCH"; exit 0; }

# --- the runs -----------------------------------------------------------------------------------
# The median of the numbers on standard input (-1 stands for none).
median() {
  sort -g | awk '$1 >= 0 { v[n++] = $1 } END { if (n == 0) print "-"; else if (n % 2) printf "%.1f\n", v[(n - 1) / 2];
    else printf "%.1f\n", (v[n / 2 - 1] + v[n / 2]) / 2 }'
}
field() { # log contender name
  grep " contender=$2 " "$1" | tr ' ' '\n' | sed -n "s/^$3=//p"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f\n", a / b }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { if (r == "-") print "no figure"; else if (r <= g) print "met"; else print "missed" }'; }

# Prints the table of one set's runs and keeps it in $BENCH/table-SET.txt.
summarize() { # set title
  local set=$1 title=$2 log="$BENCH/runs-$1.log" name
  {
    echo "mode: $title; $ROUNDS rounds; tree $(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo unknown)"
    printf '  %-10s %16s %14s %14s %14s %16s\n' contender "installer bytes" "total ms" "ready ms" "step ms" "peak WS bytes"
    for name in ours copy nsis-zlib nsis-lzma; do
      local size=-
      [ "$name" != copy ] && size=$(stat -c %s "$BENCH/$set/$name.exe")
      printf '  %-10s %16s %14s %14s %14s %16s\n' "$name" "$size" \
        "$(field "$log" "$name" total_ms | median)" "$(field "$log" "$name" ready_ms | median)" \
        "$(field "$log" "$name" watch_ms | median)" "$(field "$log" "$name" peak_ws | median | sed 's/\.0$//')"
    done
    echo "  (medians; ready: the installer's first WM_COPYDATA, its header read; step: the saver"
    echo "   folder or destination made, the placing begun)"
    local ours copy zlib lzma peak largest limit
    ours=$(field "$log" ours total_ms | median)
    copy=$(field "$log" copy total_ms | median)
    zlib=$(field "$log" nsis-zlib total_ms | median)
    lzma=$(field "$log" nsis-lzma total_ms | median)
    peak=$(field "$log" ours peak_ws | median | sed 's/\.0$//')
    largest=$(cat "$BENCH/$set/largest-entry")
    limit=$((2 * largest + 32 * 1024 * 1024))
    local r
    r=$(ratio "$ours" "$copy")
    printf '  ours / copy       %6s   goal <= 1.50: %s\n' "$r" "$(verdict "$r" 1.5)"
    r=$(ratio "$ours" "$zlib")
    printf '  ours / NSIS zlib  %6s   goal <= 1.00: %s\n' "$r" "$(verdict "$r" 1)"
    printf '  ours / NSIS lzma  %6s\n' "$(ratio "$ours" "$lzma")"
    r=$(ratio "$peak" "$limit")
    printf '  our peak WS %s bytes; goal <= 2 x largest stored entry (%s) + 32 MiB = %s bytes: %s\n' \
      "$peak" "$largest" "$limit" "$(verdict "$r" 1)"
  } | tee "$BENCH/table-$set.txt"
}

# Only what this run started is stopped at its end: other runs may use the shared prefixes.
start_display
trap 'vm_stop; kill "$XVFB_PID" >/dev/null 2>&1 || true; rm -f "$running"' EXIT

say "the 64-bit twin, natively under wine64: ours, xcopy, NSIS (amd64 stubs); $ROUNDS rounds"
bash "$ROOT/bench/install-run.sh" win64 "$BENCH/twin" "$payload" "$BENCH/runs-twin.log" "$ROUNDS"

title32=
if [ "$RUNS_32BIT" = yes ]; then
  say "the 32-bit installer, natively: ours, xcopy, NSIS (x86 stubs); $ROUNDS rounds"
  bash "$ROOT/bench/install-run.sh" win32 "$BENCH/win32" "$payload" "$BENCH/runs-win32.log" "$ROUNDS"
  title32="32-bit installer.exe, natively under Wine's 32-bit loader"
elif [ "$USE_VM" = yes ]; then
  vm_build_image
  say "the 32-bit installer in the emulated 32-bit machine: ours, xcopy, NSIS (x86 stubs); $ROUNDS rounds"
  work="$BENCH/vm-work.sh"
  cat >"$work" <<WORK
source scripts/lib/setup.sh
trap stop_all EXIT
start_display
bash bench/install-run.sh win32 $(printf '%q' "$BENCH/win32") $(printf '%q' "$payload") "\$VM_OUT/runs-win32.log" $ROUNDS >"\$VM_OUT/run.out" 2>&1
WORK
  code=0
  vm_run install-bench "$work" install-bench/win32 install-bench/payload || code=$?
  [ -f "$VM_OUT/run.out" ] && tr -d '\r' <"$VM_OUT/run.out" | grep -E '^(run|installation benchmark failed)' || true
  [ "$code" -eq 0 ] || { echo "installation benchmark failed: the emulated 32-bit machine's runs ended with exit code $code" >&2; exit 1; }
  cp "$VM_OUT/runs-win32.log" "$BENCH/runs-win32.log"
  title32="32-bit installer.exe in the emulated 32-bit machine (QEMU, no KVM), its own Wine"
fi

say "results (raw lines: $BENCH/runs-*.log)"
summarize twin "64-bit twin, natively under wine64 (NSIS amd64 stubs)"
[ -n "$title32" ] && summarize win32 "$title32"
exit 0

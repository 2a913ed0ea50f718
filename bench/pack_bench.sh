#!/usr/bin/env bash
# The packing benchmark: how long packing the saver "Lagoon" takes, and how much memory, with
# saverpack build (-j 1 and the default, one worker per core) against makensis (Debian's nsis,
# SetCompressor /SOLID zlib and /SOLID lzma, x86 stubs) packing the same files; and the peak
# memory of saverpack packing a generated saver of 1 GiB, against its bound of 64 MiB + twice
# the largest file. Run by hand, never by the test command:
#
#   bench/pack_bench.sh
#
# Each contender runs as a child of GNU time, which reports the child's peak resident set
# (the kernel's ru_maxrss of the child) and its wall time. The contenders take turns in each
# round, in an order shuffled by a seeded generator (the seed is printed; VLX_BENCH_SEED sets
# it). VLX_BENCH_ROUNDS sets the rounds (default 5). It uses saverpack from VLX_BENCH_HOST
# (default build/host) and installer.exe and impborl.dll from VLX_BENCH_WIN32 (default
# build/win32), building what is missing; everything lands in build/pack-bench/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/setup.sh"
BENCH="$BUILD/pack-bench"
HOST=${VLX_BENCH_HOST:-$BUILD/host}
WIN32=${VLX_BENCH_WIN32:-$BUILD/win32}
ROUNDS=${VLX_BENCH_ROUNDS:-5}
SEED=${VLX_BENCH_SEED:-$(date +%s)}
[[ "$ROUNDS" =~ ^[1-9][0-9]?$ ]] || { echo "VLX_BENCH_ROUNDS must be a whole number from 1 to 99, not \"$ROUNDS\"" >&2; exit 2; }
[[ "$SEED" =~ ^[0-9]+$ ]] || { echo "VLX_BENCH_SEED must be a whole number, not \"$SEED\"" >&2; exit 2; }
mkdir -p "$BENCH"

# --- set-up -----------------------------------------------------------------------------------
install_missing nsis time openssl >"$BENCH/packages.log" 2>&1 || { cat "$BENCH/packages.log"; exit 1; }
saverpack="$HOST/tools/saverpack/saverpack"
payload_tool="$HOST/bench/saver_payload"
stub="$WIN32/src/app/win32/installer.exe"
library="$WIN32/implode/impborl.dll"
if [ ! -x "$saverpack" ] || [ ! -x "$payload_tool" ]; then
  say "building saverpack and saver_payload in $HOST"
  cmake --preset host -B "$HOST" >"$BENCH/configure-host.log" 2>&1 || { cat "$BENCH/configure-host.log"; exit 1; }
  cmake --build "$HOST" -j2 --target saverpack saver_payload >"$BENCH/build-host.log" 2>&1 ||
    { grep -E -A3 'error|Error' "$BENCH/build-host.log" | head -n 60; exit 1; }
fi
if [ ! -f "$stub" ] || [ ! -f "$library" ]; then
  say "building installer.exe and impborl.dll in $WIN32"
  build_libjpeg_mingw
  cmake --preset win32 -B "$WIN32" -DVLX_JPEG_MINGW="$JPEG_MINGW32" >"$BENCH/configure-win32.log" 2>&1 ||
    { cat "$BENCH/configure-win32.log"; exit 1; }
  cmake --build "$WIN32" -j2 --target installer impborl >"$BENCH/build-win32.log" 2>&1 ||
    { grep -E -A3 'error|Error' "$BENCH/build-win32.log" | head -n 60; exit 1; }
fi

payload="$BENCH/payload"
say "writing the saver Lagoon to $payload"
rm -rf "$payload"
"$payload_tool" "$payload" >/dev/null
# NSIS keeps the files' times: fixed ones make the same installers on every run.
find "$payload" -exec touch -h -d '2026-01-01 00:00:00 UTC' {} +
# The same NSIS script as the installation benchmark's: the saver folder's tree, the engine in
# the system folder, an uninstall entry.
for compressor in zlib lzma; do
  cat >"$payload/nsis-$compressor.nsi" <<NSI
Unicode true
Target x86-unicode
SetCompressor /SOLID $compressor
Name "Lagoon"
OutFile "$BENCH/out/nsis-$compressor.exe"
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
done
mkdir -p "$BENCH/out"

# One contender, once: "NAME MS PEAK_KB" on the log.
run_one() { # name log
  local name=$1 log=$2 args=()
  case "$name" in
    ours-j1) args=("$saverpack" build "$payload/package.json" -o "$BENCH/out/$name.exe" --quiet -j 1 --stub "$stub" --library "$library") ;;
    ours) args=("$saverpack" build "$payload/package.json" -o "$BENCH/out/$name.exe" --quiet --stub "$stub" --library "$library") ;;
    nsis-zlib | nsis-lzma) args=(makensis -V1 "$payload/$name.nsi") ;;
    ours-1g) args=("$saverpack" build "$BENCH/big/package.json" -o "$BENCH/out/$name.exe" --quiet --stub "$stub" --library "$library") ;;
  esac
  rm -f "$BENCH/out/$name.exe"
  /usr/bin/time -f '%e %M' -o "$BENCH/time.txt" "${args[@]}" >"$BENCH/$name.out" 2>&1 ||
    { echo "packing benchmark failed: $name ($(cat "$BENCH/$name.out"))" >&2; exit 1; }
  read -r seconds peak <"$BENCH/time.txt"
  echo "$name $(awk -v s="$seconds" 'BEGIN { printf "%d", s * 1000 }') $peak" >>"$log"
}

# --- the runs ---------------------------------------------------------------------------------
log="$BENCH/runs.log"
: >"$log"
contenders=(ours-j1 ours nsis-zlib nsis-lzma)
say "Lagoon: ${contenders[*]}; $ROUNDS rounds, order shuffled with seed $SEED"
for ((round = 1; round <= ROUNDS; round++)); do
  order=$(printf '%s\n' "${contenders[@]}" | shuf --random-source=<(openssl enc -aes-128-ctr -nosalt \
    -K "$(printf '%032x' $((SEED + round)))" -iv "$(printf '%032x' 0)" </dev/zero 2>/dev/null || true))
  echo "round $round: $(echo $order)"
  for name in $order; do run_one "$name" "$log"; done
done
cmp -s "$BENCH/out/ours-j1.exe" "$BENCH/out/ours.exe" ||
  { echo "packing benchmark failed: -j 1 and the default wrote different installers" >&2; exit 1; }

median() {
  sort -g | awk '{ v[n++] = $1 } END { if (n == 0) print "-"; else if (n % 2) print v[(n - 1) / 2];
    else printf "%.0f\n", (v[n / 2 - 1] + v[n / 2]) / 2 }'
}
column_of() { awk -v n="$1" -v c="$2" '$1 == n { print $c }' "$log" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f\n", a / b }'; }
largest=$(find "$payload/files" "$payload/data" -type f -printf '%s\n' | sort -g | tail -n 1)
bound_kb=$(((64 * 1024 * 1024 + 2 * largest) / 1024))
{
  echo "Lagoon, $ROUNDS rounds (seed $SEED), tree $(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo unknown)"
  echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  printf '  %-10s %10s %14s %16s\n' contender "ms" "peak RSS KB" "installer bytes"
  for name in "${contenders[@]}"; do
    printf '  %-10s %10s %14s %16s\n' "$name" "$(column_of "$name" 2)" "$(column_of "$name" 3)" \
      "$(stat -c %s "$BENCH/out/$name.exe")"
  done
  zlib=$(column_of nsis-zlib 2)
  printf '  ours / NSIS zlib %s (goal <= 1.00), ours -j 1 / NSIS zlib %s, ours / NSIS lzma %s\n' \
    "$(ratio "$(column_of ours 2)" "$zlib")" "$(ratio "$(column_of ours-j1 2)" "$zlib")" \
    "$(ratio "$(column_of ours 2)" "$(column_of nsis-lzma 2)")"
  printf '  bound: 64 MiB + 2 x the largest file (%s bytes) = %s KB\n' "$largest" "$bound_kb"
} | tee "$BENCH/table.txt"

# --- the 1 GiB saver --------------------------------------------------------------------------
# Three large files (300 MiB that do not compress, 150 MiB of text, 100 MiB of both) and 1000
# files of about 485 KiB, half noise and half text: 1 GiB and 1003 data files, the same bytes
# on every run (noise from AES-CTR over zeros with a fixed key).
big="$BENCH/big"
noise() { head -c "$1" /dev/zero | openssl enc -aes-128-ctr -nosalt -K "$(printf '%032x' "$2")" -iv "$(printf '%032x' 0)"; }
text() { (yes "the reef at dusk, frame $1, the fish turn silver in the low light;" || true) | head -c "$2"; }
say "writing a saver of 1 GiB to $big"
rm -rf "$big" && mkdir -p "$big/data/large" "$big/data/small"
cp -r "$payload/files" "$big/"
cp "$payload/package.json" "$big/"
noise $((300 << 20)) 1 >"$big/data/large/reef.avi"
text 1 $((150 << 20)) >"$big/data/large/script.txt"
{ noise $((50 << 20)) 2; text 2 $((50 << 20)); } >"$big/data/large/mixed.bin"
small_total=$(((1 << 30) - (550 << 20)))
{ noise $((small_total / 2)) 3; text 3 $((small_total / 2)); } |
  split -b $(((small_total + 999) / 1000)) -d -a 4 --additional-suffix=.dat - "$big/data/small/part"
run_one ours-1g "$BENCH/runs-1g.log.new"
mv "$BENCH/runs-1g.log.new" "$BENCH/runs-1g.log"
read -r _ ms peak <"$BENCH/runs-1g.log"
data_bytes=$(find "$big/data" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
largest=$((300 << 20))
bound_kb=$(((64 * 1024 * 1024 + 2 * largest) / 1024))
{
  echo "1 GiB saver: $data_bytes bytes in $(find "$big/data" -type f | wc -l) data files, largest $largest"
  printf '  saverpack build: %s ms, peak RSS %s KB, installer %s bytes; bound %s KB: %s\n' "$ms" "$peak" \
    "$(stat -c %s "$BENCH/out/ours-1g.exe")" "$bound_kb" "$([ "$peak" -lt "$bound_kb" ] && echo met || echo missed)"
} | tee -a "$BENCH/table.txt"
rm -rf "$big" "$BENCH/out/ours-1g.exe"

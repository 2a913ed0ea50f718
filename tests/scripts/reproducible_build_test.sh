#!/usr/bin/env bash
# Two builds of one commit are the same bytes: the release targets (the
# Linux saverpack; installer.exe, impborl.dll and saverpack.exe of the
# 32-bit build) are built again from a second checkout of HEAD at another
# path (a git worktree below build/, removed afterwards), at another time,
# and compared byte for byte with the test command's own builds (or those
# named). Neither build path may be left in them, nor a link time
# in the PE headers. The MinGW libjpeg is the one build/win32 was made with.
# Ends with the line "N passed, N failed".
#
#   reproducible_build_test.sh [HOST_BUILD WIN32_BUILD]   (default: build/host build/win32)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/setup.sh"
host=${1:-$BUILD/host}
win32=${2:-$BUILD/win32}
passed=0
failed=0
ok() { echo "ok - $*"; passed=$((passed + 1)); }
not_ok() { echo "not ok - $*"; failed=$((failed + 1)); }
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit; }

second="$BUILD/reproduce"
tree="$second/checkout"
remove_tree() {
  git -C "$ROOT" worktree remove --force "$tree" >/dev/null 2>&1
  rm -rf "$second"
  git -C "$ROOT" worktree prune
}
trap remove_tree EXIT

changes=$(git -C "$ROOT" status --porcelain)
if [ -n "$changes" ]; then
  not_ok "the working tree has changes that are not committed: build/host and build/win32 are not" \
    "the bytes of a commit that a second checkout could rebuild"
  finish
fi
remove_tree
if ! git -C "$ROOT" worktree add --detach "$tree" HEAD >"$BUILD/reproduce.log" 2>&1; then
  not_ok "no second checkout: $(tail -n 3 "$BUILD/reproduce.log")"
  finish
fi

cached() { # build-folder variable
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" 2>/dev/null
}
jpeg=$(cached "$win32" VLX_JPEG_MINGW)
start=$(date +%s)
if ! (cd "$tree" && cmake --preset host && cmake --build build/host -j2 --target saverpack &&
      cmake --preset win32 -DVLX_JPEG_MINGW="$jpeg" &&
      cmake --build build/win32 -j2 --target installer impborl saverpack) \
    >>"$BUILD/reproduce.log" 2>&1; then
  not_ok "the second checkout's release targets did not build:"
  grep -E -A3 'error|Error' "$BUILD/reproduce.log" | head -n 30
  finish
fi
echo "the second checkout's release targets built in $(($(date +%s) - start)) s"

objdump=i686-w64-mingw32-objdump
for file in host/tools/saverpack/saverpack win32/src/app/win32/installer.exe \
    win32/implode/impborl.dll win32/tools/saverpack/saverpack.exe; do
  ours="$host/${file#host/}" theirs="$tree/build/$file"
  [[ $file == win32/* ]] && ours="$win32/${file#win32/}"
  if [ ! -f "$ours" ] || [ ! -f "$theirs" ]; then
    not_ok "$file: missing in $ours or in the second checkout's build"
    continue
  fi
  if difference=$(cmp -- "$ours" "$theirs" 2>&1); then
    ok "$file: the same $(stat -c %s "$ours") bytes from both checkouts"
  else
    # cmp says "... differ: byte N, line M"; bytes are counted from 1.
    at=$(sed -nE 's/.*differ: (char|byte) ([0-9]+).*/\2/p' <<<"$difference")
    not_ok "$file: differs from the second checkout's, first at byte ${at:-?}" \
      "(offset $((${at:-1} - 1))): $difference"
  fi
  paths=$(strings -a "$ours" | grep -F -e "$ROOT" -e "$tree" | head -n 3)
  if [ -z "$paths" ]; then
    ok "$file: no build path in it"
  else
    not_ok "$file: carries build paths: $paths"
  fi
  case $file in
    *.exe | *.dll)
      # The file header's time, and the export directory's where there is one.
      headers=$("$objdump" -p "$ours")
      stamp=$(sed -n 's/^Time\/Date[[:space:]]\+\([A-Z]\)/\1/p' <<<"$headers")
      exports=$(sed -n 's/^Time\/Date stamp[[:space:]]*//p' <<<"$headers")
      if [ "$stamp" = "Thu Jan  1 00:00:00 1970" ] && [ "${exports:-0}" = 0 ]; then
        ok "$file: no link time in the PE header${exports:+ nor in the export directory}"
      else
        not_ok "$file: the PE header's time is $stamp, the export directory's ${exports:-none}"
      fi ;;
  esac
done
finish

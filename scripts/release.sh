#!/usr/bin/env bash
# Makes the release from the commit checked out, in fresh build folders
# (build/release-win32, build/release-host), into dist/:
#   saverpack_<version>_<arch>.deb   the Linux saverpack with the 32-bit
#                                    installer.exe and impborl.dll
#   saverpack-<version>-win32.zip    saverpack.exe, installer.exe, impborl.dll,
#                                    README.txt and the example saver
#   SHA256SUMS                       the sums of both
# and prints their names and sums. The packages' files carry the time
# SOURCE_DATE_EPOCH, by default the commit's. A working tree with changes
# that are not committed is refused: the release would not be that commit's.
#
# libjpeg-turbo for MinGW comes from build/deps as scripts/test.sh makes it
# (built there when missing); VLX_JPEG_MINGW names another copy.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.sh"
cd "$ROOT"

if ! git rev-parse --verify -q HEAD >/dev/null 2>&1; then
  echo "release.sh: $ROOT is not a git checkout with a commit: a release is made from a commit" >&2
  exit 1
fi
changes=$(git status --porcelain)
if [ -n "$changes" ]; then
  echo "release.sh: refused: the working tree has changes that are not committed, so the" \
    "release would not be the bytes of commit $(git rev-parse --short HEAD) (its version would" \
    "read +dirty). Commit them or set them aside:" >&2
  head -n 20 <<<"$changes" >&2
  exit 1
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

install_missing cmake make g++ googletest libgtest-dev zlib1g-dev libjpeg62-turbo-dev \
  nlohmann-json3-dev libssl-dev g++-mingw-w64-i686 libz-mingw-w64-dev nasm dpkg-dev strip-nondeterminism
jpeg=${VLX_JPEG_MINGW:-}
if [ -z "$jpeg" ]; then
  build_libjpeg_mingw
  jpeg=$JPEG_MINGW32
fi
[ -f "$jpeg/lib/libjpeg.a" ] || { echo "release.sh: no MinGW libjpeg in $jpeg" >&2; exit 1; }

win32="$BUILD/release-win32"
host="$BUILD/release-host"
rm -rf "$win32" "$host" "$ROOT/dist"
mkdir -p "$BUILD" "$ROOT/dist"

step() { # log command...
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    grep -E -A3 'error|Error' "$log" | head -n 40
    echo "release.sh: failed: $* (log: $log)" >&2
    exit 1
  fi
}

say "building the Windows programs and the zip (build/release-win32)"
step "$BUILD/release-win32.log" cmake --preset win32 -B "$win32" -DVLX_JPEG_MINGW="$jpeg"
step "$BUILD/release-win32.log" cmake --build "$win32" -j2 --target installer impborl saverpack release_zip

say "building the Linux saverpack and the .deb (build/release-host)"
step "$BUILD/release-host.log" cmake --preset host -B "$host" \
  -DSAVERPACK_MINGW_INSTALLER="$win32/src/app/win32/installer.exe" \
  -DSAVERPACK_MINGW_IMPBORL="$win32/implode/impborl.dll"
step "$BUILD/release-host.log" cmake --build "$host" -j2 --target saverpack saverpack_man_page
step "$BUILD/release-host.log" cpack --config "$host/CPackConfig.cmake" -B "$host/release"

cp "$host"/release/*.deb "$win32"/release/*.zip "$ROOT/dist/"
(cd "$ROOT/dist" && sha256sum -- *.deb *.zip >SHA256SUMS)
say "the release of commit $(git rev-parse --short HEAD) in dist/ (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH):"
cat "$ROOT/dist/SHA256SUMS"

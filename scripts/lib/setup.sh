# Shared set-up of scripts/test.sh and scripts/demo.sh: the packages, the
# MinGW build of libjpeg-turbo, the Wine prefixes and a running Wine server.
# Everything lands below build/ and is reused by the next run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD="$ROOT/build"
DEPS="$BUILD/deps"
WINE_DIR="$BUILD/wine"
PREFIX32="$WINE_DIR/prefix32"
PREFIX64="$WINE_DIR/prefix64"
JPEG_MINGW="$DEPS/libjpeg-turbo-mingw"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="

PACKAGES=(
  cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev
  zlib1g-dev libjpeg62-turbo-dev libstorm-dev nlohmann-json3-dev
  g++-mingw-w64-i686 libz-mingw-w64-dev nasm dpkg-dev
  wine wine32:i386 wine64 xvfb imagemagick x11-apps x11-utils
)

say() { printf '== %s\n' "$*"; }

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

# libjpeg-turbo has no MinGW package: build it from Debian's own source
# package, fetched with a private source list so the system's apt set-up
# stays as it is.
build_libjpeg_mingw() {
  [ -f "$JPEG_MINGW/lib/libjpeg.a" ] && return 0
  say "building libjpeg-turbo for MinGW"
  local apt="$DEPS/apt"
  rm -rf "$apt" && mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/src"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$apt/parts/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -E '^deb ' "$f" | sed 's/^deb /deb-src /' > "$apt/parts/src-$(basename "$f").list"
  done
  local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
              -o "Dir::State::Lists=$apt/lists")
  apt-get "${opts[@]}" update -q
  (cd "$apt/src" && apt-get "${opts[@]}" source -q libjpeg-turbo)
  local src
  src=$(find "$apt/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
  [ -n "$src" ] || { echo "libjpeg-turbo source not found" >&2; return 1; }
  cmake -S "$src" -B "$DEPS/libjpeg-turbo-build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DCMAKE_INSTALL_PREFIX="$JPEG_MINGW" >/dev/null
  cmake --build "$DEPS/libjpeg-turbo-build" -j2 >/dev/null
  cmake --install "$DEPS/libjpeg-turbo-build" >/dev/null
  rm -rf "$apt/src" "$DEPS/libjpeg-turbo-build"
}

make_prefix() { # arch folder
  local arch=$1 prefix=$2
  [ -f "$prefix/.ready" ] && return 0
  say "making the $arch Wine prefix"
  rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")"
  if [ "$arch" = win64 ]; then
    WINEARCH=win64 WINEPREFIX="$prefix" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  else
    WINEARCH=win32 WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1
  fi
  # No crash debugger.
  WINEPREFIX="$prefix" wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d '' /f >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
  touch "$prefix/.ready"
}

XVFB_PID=
start_display() {
  local n=91
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

# A persistent Wine server per prefix, warmed up outside ctest so that Wine's
# own services do not hold the test runner's output open.
start_wine() {
  local prefix
  for prefix in "$@"; do
    WINEPREFIX="$prefix" wineserver -p
    WINEPREFIX="$prefix" wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  done
}

stop_all() {
  local prefix
  for prefix in "$PREFIX32" "$PREFIX64"; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  done
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
  XVFB_PID=
}

setup_all() {
  install_packages
  build_libjpeg_mingw
  make_prefix win32 "$PREFIX32"
  make_prefix win64 "$PREFIX64"
  trap stop_all EXIT
  start_display
  start_wine "$PREFIX32" "$PREFIX64"
}

configure_and_build() { # preset...
  local preset
  for preset in "$@"; do
    say "building preset $preset"
    cmake --preset "$preset" -DVLX_WINE_PREFIX32="$PREFIX32" -DVLX_WINE_PREFIX64="$PREFIX64" \
      -DVLX_JPEG_MINGW="$JPEG_MINGW" >"$BUILD/configure-$preset.log" 2>&1 ||
      { cat "$BUILD/configure-$preset.log"; return 1; }
    if ! cmake --build --preset "$preset" -j2 >"$BUILD/build-$preset.log" 2>&1; then
      grep -E -A3 'error|Error' "$BUILD/build-$preset.log" | head -n 60
      return 1
    fi
    grep -E 'warning' "$BUILD/build-$preset.log" || true
  done
}

# Shared set-up of scripts/test.sh and scripts/demo.sh: the packages, the
# MinGW builds of libjpeg-turbo, the Wine prefixes and a running Wine server.
# Everything lands below build/ and is reused by the next run.
#
# Some machines cannot run 32-bit x86 code at all. There the 32-bit programs
# run in an emulated 32-bit machine (vm32.sh), and this machine's own Wine has
# only the 64-bit prefix, for the 64-bit twin of the Windows programs.
# VLX_NO_32BIT=1 takes that path on any machine; VLX_NO_VM=1 besides starts no
# emulated machine, and the twin stands in for the 32-bit programs alone.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD="$ROOT/build"
DEPS="$BUILD/deps"
WINE_DIR="$BUILD/wine"
PREFIX32="$WINE_DIR/prefix32"
PREFIX64="$WINE_DIR/prefix64"
JPEG_MINGW32="$DEPS/libjpeg-turbo-mingw"
JPEG_MINGW64="$DEPS/libjpeg-turbo-mingw64"
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64

export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="

PACKAGES=(
  cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev
  zlib1g-dev libjpeg62-turbo-dev libstorm-dev nlohmann-json3-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev nasm dpkg-dev
  wine wine64 xvfb imagemagick x11-apps x11-utils xxd osslsigncode openssl libssl-dev
  strip-nondeterminism
)
PACKAGES_32BIT=(wine32:i386)

say() { printf '== %s\n' "$*"; }

# Can this machine run 32-bit x86 programs? Sets RUNS_32BIT to yes or no and
# NO_32BIT_REASON. The test is a 96-byte static i386 program that exits with
# 42 through the 32-bit system call; anything else, including a folder where
# nothing may be executed, means no.
probe_32bit() {
  RUNS_32BIT=no
  if [ "${VLX_NO_32BIT:-0}" = 1 ]; then
    NO_32BIT_REASON="VLX_NO_32BIT=1 is set"
    return 0
  fi
  local dir="$BUILD/probe32"
  mkdir -p "$dir" 2>/dev/null || { NO_32BIT_REASON="no folder for the probe"; return 0; }
  if ! cp /bin/true "$dir/true" 2>/dev/null || ! "$dir/true" 2>/dev/null; then
    NO_32BIT_REASON="programs cannot be run from $dir"
    return 0
  fi
  # ELF header, one program header, then: mov eax,1; mov ebx,42; int 0x80.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00%b%b%b' \
    '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00' \
    '\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' \
    >"$dir/exit42" 2>/dev/null && chmod +x "$dir/exit42" 2>/dev/null
  local code=0
  "$dir/exit42" >/dev/null 2>&1 || code=$?
  if [ "$code" -eq 42 ]; then
    RUNS_32BIT=yes
  else
    NO_32BIT_REASON="a static i386 program did not run here (exit $code)"
  fi
}

# Installs the Debian packages in the arguments that are not installed yet.
install_missing() { # package...
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing: ${missing[*]}"
  if [ "$APT_UPDATED" != yes ]; then
    # An index that one mirror serves broken (a sync in progress) fails the
    # update but not what the other indexes give: the install says whether
    # the packages could be had.
    apt-get update -q || echo "apt-get update reported errors; installing from the indexes it could read" >&2
    APT_UPDATED=yes
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}
APT_UPDATED=no

# The project's packages; Wine's 32-bit half where 32-bit programs run. When
# that half cannot be installed (its i386 packages must match the installed
# amd64 versions, and a mirror may lack them), the machine is taken as one
# without 32-bit code: the emulated machine then runs the 32-bit suites.
install_packages() {
  install_missing "${PACKAGES[@]}" || return 1
  if [ "$RUNS_32BIT" = yes ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; APT_UPDATED=no; }
    if ! install_missing "${PACKAGES_32BIT[@]}"; then
      RUNS_32BIT=no
      NO_32BIT_REASON="32-bit programs run here, but Wine's 32-bit packages (${PACKAGES_32BIT[*]}) could not be installed"
      [ "${VLX_NO_VM:-0}" != 1 ] && USE_VM=yes
    fi
  fi
  if [ "$USE_VM" = yes ]; then install_missing "${VM_HOST_PACKAGES[@]}" || return 1; fi
}

# libjpeg-turbo has no MinGW package: build it from Debian's own source
# package, fetched with a private source list so the system's apt set-up
# stays as it is.
build_libjpeg_mingw() {
  [ -f "$JPEG_MINGW32/lib/libjpeg.a" ] && [ -f "$JPEG_MINGW64/lib/libjpeg.a" ] && return 0
  say "building libjpeg-turbo for MinGW (i686 and x86_64)"
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
  apt-get "${opts[@]}" update -q || echo "apt-get update reported errors; fetching the source from the indexes it could read" >&2
  (cd "$apt/src" && apt-get "${opts[@]}" source -q libjpeg-turbo)
  local src
  src=$(find "$apt/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
  [ -n "$src" ] || { echo "libjpeg-turbo source not found" >&2; return 1; }
  local toolchain install
  for toolchain in i686 x86_64; do
    install=$JPEG_MINGW32
    [ "$toolchain" = x86_64 ] && install=$JPEG_MINGW64
    rm -rf "$DEPS/libjpeg-turbo-build"
    cmake -S "$src" -B "$DEPS/libjpeg-turbo-build" -G "Unix Makefiles" \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DCMAKE_INSTALL_PREFIX="$install" >/dev/null
    cmake --build "$DEPS/libjpeg-turbo-build" -j2 >/dev/null
    cmake --install "$DEPS/libjpeg-turbo-build" >/dev/null
  done
  rm -rf "$apt/src" "$DEPS/libjpeg-turbo-build"
}

# The Wine loader that starts programs in a prefix: the 64-bit one for the
# 64-bit prefix, which also works where 32-bit code cannot run.
loader_for() { # prefix
  if [ "$1" = "$PREFIX64" ]; then echo "$WINE64_LOADER"; else echo "$WINE32_LOADER"; fi
}

make_prefix() { # arch folder
  local arch=$1 prefix=$2
  [ -f "$prefix/.ready" ] && return 0
  say "making the $arch Wine prefix"
  rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")"
  local loader=$WINE32_LOADER
  [ "$arch" = win64 ] && loader=$WINE64_LOADER
  WINEARCH=$arch WINEPREFIX="$prefix" "$loader" wineboot -i >/dev/null 2>&1
  # No crash debugger.
  WINEPREFIX="$prefix" "$loader" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
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
    WINEPREFIX="$prefix" "$(loader_for "$prefix")" cmd /c exit >/dev/null 2>&1 </dev/null || true
  done
}

stop_all() {
  vm_stop
  local prefix
  for prefix in "$PREFIX32" "$PREFIX64"; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  done
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
  XVFB_PID=
}

# The prefixes this machine can use: the 32-bit one only where 32-bit code runs.
PREFIXES=()
# Whether the 32-bit programs run in the emulated 32-bit machine.
USE_VM=no

setup_all() {
  probe_32bit
  if [ "$RUNS_32BIT" = no ] && [ "${VLX_NO_VM:-0}" != 1 ]; then USE_VM=yes; fi
  install_packages
  if [ "$RUNS_32BIT" = yes ] && ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
    RUNS_32BIT=no
    NO_32BIT_REASON="Wine's 32-bit loader does not start"
    if [ "${VLX_NO_VM:-0}" != 1 ]; then USE_VM=yes; install_missing "${VM_HOST_PACKAGES[@]}" || return 1; fi
  fi
  if [ "$RUNS_32BIT" = yes ]; then
    say "32-bit programs run here: the product and its 64-bit twin are both tested"
    PREFIXES=("$PREFIX32" "$PREFIX64")
  elif [ "$USE_VM" = yes ]; then
    say "32-bit programs cannot run here ($NO_32BIT_REASON): they run in an emulated 32-bit machine"
    PREFIXES=("$PREFIX64")
  else
    say "32-bit programs cannot run here ($NO_32BIT_REASON): the 64-bit twin stands in"
    PREFIXES=("$PREFIX64")
  fi
  build_libjpeg_mingw
  setup_wine
}

# The prefixes, a display and a Wine server for each prefix.
setup_wine() {
  local prefix
  for prefix in "${PREFIXES[@]}"; do
    if [ "$prefix" = "$PREFIX32" ]; then make_prefix win32 "$prefix"; else make_prefix win64 "$prefix"; fi
  done
  trap stop_all EXIT
  start_display
  start_wine "${PREFIXES[@]}"
  # ctest lists a test program's tests outside any test's environment: that
  # too runs in a prefix of ours, not in a ~/.wine made for it on the way.
  export WINEPREFIX="${PREFIXES[0]}"
}

configure_and_build() { # preset...
  local preset
  for preset in "$@"; do
    say "building preset $preset"
    local jpeg=$JPEG_MINGW32
    [ "$preset" = win64 ] && jpeg=$JPEG_MINGW64
    # The win32 suites run about ten times slower in the emulated machine.
    local scale=1
    [ "$preset" = win32 ] && [ "$USE_VM" = yes ] && scale=$VM_WAIT_SCALE
    cmake --preset "$preset" -DVLX_WINE_PREFIX32="$PREFIX32" -DVLX_WINE_PREFIX64="$PREFIX64" \
      -DVLX_JPEG_MINGW="$jpeg" -DVLX_WAIT_SCALE="$scale" >"$BUILD/configure-$preset.log" 2>&1 ||
      { cat "$BUILD/configure-$preset.log"; return 1; }
    if ! cmake --build --preset "$preset" -j2 >"$BUILD/build-$preset.log" 2>&1; then
      grep -E -A3 'error|Error' "$BUILD/build-$preset.log" | head -n 60
      return 1
    fi
    grep -E 'warning' "$BUILD/build-$preset.log" || true
  done
}

source "$ROOT/scripts/lib/vm32.sh"

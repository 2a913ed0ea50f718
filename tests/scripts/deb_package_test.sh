#!/usr/bin/env bash
# The .deb works from its installed place: cpack makes it from build/host
# (with the win32 build's installer.exe and impborl.dll that the host build
# names), dpkg-deb -x unpacks it
# into a throwaway root, and its saverpack, run from a folder outside the
# checkout with only that root's bin/ and the system's on PATH, prints its
# version and runs init, build and verify on the example saver with the
# installer program and library of share/saverpack. Without that folder it
# says where it looked. Ends with the line "N passed, N failed".
#
#   deb_package_test.sh [HOST_BUILD]     (default: build/host)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/setup.sh"
host=${1:-$BUILD/host}
cached() { # variable: its value in the host build's cache
  sed -n "s/^$1:[A-Z]*=//p" "$host/CMakeCache.txt" 2>/dev/null
}
passed=0
failed=0
ok() { echo "ok - $*"; passed=$((passed + 1)); }
not_ok() { echo "not ok - $*"; failed=$((failed + 1)); }
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

start=$(date +%s)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct)}
if ! SOURCE_DATE_EPOCH=$epoch cpack --config "$host/CPackConfig.cmake" -B "$scratch/out" \
    >"$scratch/cpack.log" 2>&1; then
  not_ok "cpack made no .deb: $(tail -n 5 "$scratch/cpack.log")"
  finish
fi
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$host/CPackConfig.cmake")
deb="$scratch/out/saverpack_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
  not_ok "no $(basename "$deb"); cpack made: $(ls "$scratch/out")"
  finish
fi
depends=$(dpkg-deb -f "$deb" Depends)
if [ "$(dpkg-deb -f "$deb" Package)" = saverpack ] && [[ ", $depends," == *", osslsigncode,"* ]] &&
   [[ ", $depends," == *", libssl3"[,\ ]* ]] && [[ "$depends" == *libc6* ]]; then
  ok "$(basename "$deb"): package saverpack, depends on $depends"
else
  not_ok "$(basename "$deb"): package $(dpkg-deb -f "$deb" Package), depends on $depends"
fi

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
listed=$(cd "$root" && find . -type f | sort | tr '\n' ' ')
wanted="./usr/bin/saverpack ./usr/share/man/man1/saverpack.1.gz ./usr/share/saverpack/impborl.dll ./usr/share/saverpack/installer.exe "
if [ "$listed" = "$wanted" ] &&
   cmp -s "$root/usr/share/saverpack/installer.exe" "$(cached SAVERPACK_MINGW_INSTALLER)" &&
   cmp -s "$root/usr/share/saverpack/impborl.dll" "$(cached SAVERPACK_MINGW_IMPBORL)"; then
  ok "it holds $listed(the program image and library are the win32 build's)"
else
  not_ok "it holds $listed; wanted $wanted with the win32 build's installer.exe and impborl.dll"
fi

# The version resources: FileVersion and ProductVersion texts, and the fixed
# part's numbers (after its signature 0xFEEF04BD and structure version 1.0).
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24)); }
IFS=. read -r major minor patch <<<"$version"
most=$(le32 $((major << 16 | minor)))
least=$(le32 $((patch << 16)))
fixed="bd04effe00000100$most$least$most$least"
for file in installer.exe impborl.dll; do
  texts=$(strings -a -el "$root/usr/share/saverpack/$file" | grep -A1 -x -E 'FileVersion|ProductVersion' |
    grep -v -x -E 'FileVersion|ProductVersion|--' | sort -u | tr '\n' ' ')
  if [[ "$texts" =~ ^${version//./\\.}(\+dirty)?\ $ ]] &&
     xxd -p "$root/usr/share/saverpack/$file" | tr -d '\n' | grep -q "$fixed"; then
    ok "$file: version $texts($major.$minor.$patch.0 in the fixed part)"
  else
    not_ok "$file: version texts '$texts', fixed part $fixed found: $(xxd -p "$root/usr/share/saverpack/$file" | tr -d '\n' | grep -c "$fixed")"
  fi
done

# Runs the unpacked saverpack from $scratch/work, away from the checkout.
mkdir -p "$scratch/work"
cp -r "$ROOT/examples/aquarium" "$scratch/work/aquarium"
rm "$scratch/work/aquarium/package.json"
installed() { # arguments...: output in $scratch/out.txt, exit code in $code
  code=0
  (cd "$scratch/work" && env -i HOME="$scratch/work" PATH="$root/usr/bin:/usr/bin:/bin" \
    saverpack "$@") >"$scratch/out.txt" 2>&1 || code=$?
}

installed --version
said=$(cat "$scratch/out.txt")
if [ "$code" -eq 0 ] && [[ "$said" =~ ^saverpack\ ${version//./\\.}(\+dirty)?$ ]]; then
  ok "saverpack --version: $said"
else
  not_ok "saverpack --version ended with $code: $said"
fi

steps_ok=yes
for step in "init aquarium" "build aquarium/package.json -o Aquarium.exe --quiet" "verify Aquarium.exe"; do
  # shellcheck disable=SC2086
  installed $step
  if [ "$code" -ne 0 ]; then
    not_ok "saverpack $step ended with $code: $(tail -n 5 "$scratch/out.txt")"
    steps_ok=no
    break
  fi
done
image="$root/usr/share/saverpack/installer.exe"
if [ "$steps_ok" = yes ] &&
   cmp -s -n "$(stat -c %s "$image")" "$image" "$scratch/work/Aquarium.exe"; then
  ok "saverpack init, build and verify on the example; the installer begins with share/saverpack/installer.exe"
elif [ "$steps_ok" = yes ]; then
  not_ok "the example's installer does not begin with share/saverpack/installer.exe"
fi

mv "$root/usr/share/saverpack" "$scratch/moved"
installed build aquarium/package.json -o Again.exe
said=$(cat "$scratch/out.txt")
if [ "$code" -eq 1 ] && [ "$(wc -l <"$scratch/out.txt")" -eq 1 ] &&
   [[ "$said" == *"(not found: $root/usr/share/saverpack/impborl.dll)" ]] &&
   [ ! -e "$scratch/work/Again.exe" ]; then
  ok "without share/saverpack: $said"
else
  not_ok "without share/saverpack, build ended with $code: $said"
fi
echo "the .deb checks took $(($(date +%s) - start)) s"
finish

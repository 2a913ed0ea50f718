#!/usr/bin/env bash
# The Windows zip works from a folder that holds only its contents: unpacked
# with cmake -E tar, its saverpack.exe prints its version and runs init, build
# and verify on the example saver that the zip carries, packing the
# installer.exe and impborl.dll that lie beside it.
#
#   release_zip_wine_test.sh ZIP VERSION
#
# WINEPREFIX and WINE (the loader) come from the environment.
set -uo pipefail
zip=$1 version=$2
failures=0
ok() { echo "ok - $*"; }
not_ok() {
  echo "not ok - $*"
  failures=$((failures + 1))
}
[ -f "$zip" ] || { echo "not ok - $zip is missing"; exit 1; }

work=$(mktemp -d "$WINEPREFIX/drive_c/release-zip-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cmake -E tar xf "$zip" || { echo "not ok - cmake -E tar could not unpack $zip"; exit 1; }
top=$(basename "$zip" .zip)
listed=$(cd "$top" 2>/dev/null && find . -maxdepth 1 | sort | tr '\n' ' ')
wanted=". ./README.txt ./examples ./impborl.dll ./installer.exe ./saverpack.exe "
if [ "$(ls)" = "$top" ] && [ "$listed" = "$wanted" ] && [ -f "$top/examples/aquarium/package.json" ]; then
  ok "$(basename "$zip") holds $top/ with $listed and examples/aquarium"
else
  not_ok "$(basename "$zip") holds $(ls | tr '\n' ' ')/ with $listed; wanted $top/ with $wanted"
fi

# The example without its description: init writes one.
cp -r "$top/examples/aquarium" aquarium && rm aquarium/package.json
saverpack() { # arguments...: output in out.txt, exit code in $code
  code=0
  "$WINE" "$top/saverpack.exe" "$@" </dev/null >out.txt 2>&1 || code=$?
  tr -d '\r' <out.txt >out.tmp && mv out.tmp out.txt
}

saverpack --version
said=$(cat out.txt)
if [ "$code" -eq 0 ] && [[ "$said" =~ ^saverpack\ ${version//./\\.}(\+dirty)?$ ]]; then
  ok "saverpack.exe --version: $said"
else
  not_ok "saverpack.exe --version ended with $code: $said"
fi

steps_ok=yes
for step in "init aquarium" "build aquarium/package.json -o Aquarium.exe --quiet" "verify Aquarium.exe"; do
  # shellcheck disable=SC2086
  saverpack $step
  if [ "$code" -ne 0 ]; then
    not_ok "saverpack.exe $step ended with $code: $(tail -n 5 out.txt)"
    steps_ok=no
    break
  fi
done
if [ "$steps_ok" = yes ] && cmp -s -n "$(stat -c %s "$top/installer.exe")" "$top/installer.exe" Aquarium.exe; then
  ok "saverpack.exe init, build and verify on the example; the installer begins with the zip's installer.exe"
elif [ "$steps_ok" = yes ]; then
  not_ok "the example's installer does not begin with the zip's installer.exe"
fi
[ "$failures" -eq 0 ]

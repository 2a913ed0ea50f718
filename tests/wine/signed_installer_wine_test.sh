#!/usr/bin/env bash
# A signed installer under Wine: the example packed and signed by the Linux
# saverpack with a throwaway code-signing certificate from openssl, accepted
# by osslsigncode and by saverpack.exe, then installed quietly ("/q") with the
# stand-in player registered; the saver's files are checked and removed.
#
#   signed_installer_wine_test.sh CHECK_FOLDER DESCRIPTION PLAYER_OCX \
#       [TWIN_PACK TWIN_INSTALLER TWIN_IMPBORL]
#
# CHECK_FOLDER holds the Linux saverpack, saverpack.exe and the 32-bit
# installer.exe and impborl.dll. The 64-bit twin (VLX_TWIN=1) cannot be packed
# by saverpack: there TWIN_PACK packs the example behind TWIN_INSTALLER with
# TWIN_IMPBORL, and "saverpack sign" signs the result in place.
# WINEPREFIX and WINE (the loader) come from the environment.
set -uo pipefail
check=$1 description=$2 player_ocx=$3
twin_pack=${4:-} twin_installer=${5:-} twin_impborl=${6:-}
failures=0
ok() { echo "ok - $*"; }
not_ok() {
  echo "not ok - $*"
  failures=$((failures + 1))
}
winpath() { "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

for tool in openssl osslsigncode; do
  command -v "$tool" >/dev/null || { echo "not ok - $tool is not on PATH"; exit 1; }
done
for file in "$check/saverpack" "$check/saverpack.exe" "$player_ocx"; do
  [ -f "$file" ] || { echo "not ok - $file is missing"; exit 1; }
done

work=$(mktemp -d "$WINEPREFIX/drive_c/signed-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# The throwaway certificate, its key in a PFX whose password is in a file.
printf 'signed-%s\n' "$RANDOM$RANDOM" >password.txt
if openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Test Saver Author' \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem >openssl.log 2>&1 &&
  openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx \
    -passout file:password.txt >>openssl.log 2>&1; then
  ok "a throwaway code-signing certificate"
else
  not_ok "openssl could not make the certificate: $(tail -n 1 openssl.log)"
  exit 1
fi

installer=$work/Aquarium.exe
sign=(--sign cert.pfx --password-file password.txt)
if [ "${VLX_TWIN:-0}" = 1 ]; then
  "$twin_pack" "$description" unsigned.exe "$twin_installer" "$twin_impborl" 698368 >pack.log 2>&1 &&
    cp unsigned.exe "$installer" && "$check/saverpack" sign "$installer" "${sign[@]}" >sign.log 2>&1
else
  "$check/saverpack" build "$description" -o "$installer" --stub "$check/installer.exe" \
    --library "$check/impborl.dll" "${sign[@]}" >sign.log 2>&1
fi
if [ $? -eq 0 ] && grep -q 'signed by "Test Saver Author"' sign.log; then
  ok "packed and signed: $(tail -n 1 sign.log)"
else
  not_ok "packing and signing failed: $(cat pack.log sign.log 2>/dev/null | tail -n 2)"
  exit 1
fi
if grep -qF "$(cat password.txt)" sign.log; then
  not_ok "the password shows in saverpack's output"
fi

if osslsigncode verify -CAfile cert.pem -in "$installer" >verify.log 2>&1; then
  ok "osslsigncode verify accepts it"
else
  not_ok "osslsigncode verify refuses it: $(grep -v '^$' verify.log | tail -n 1)"
fi

"$WINE" "$check/saverpack.exe" verify "$(winpath "$installer")" </dev/null >wine-verify.log 2>&1
code=$?
if [ $code -eq 0 ] && grep -q 'ok       signed by "Test Saver Author"' wine-verify.log; then
  ok "saverpack.exe verify: $(tr -d '\r' <wine-verify.log | tail -n 1)"
else
  not_ok "saverpack.exe verify ended with $code: $(tr -d '\r' <wine-verify.log | tail -n 3)"
fi

# Wine's PATH has neither signtool.exe nor osslsigncode.exe: saverpack.exe
# says so and leaves the installer as it was.
cp "$installer" copy.exe
"$WINE" "$check/saverpack.exe" sign "$(winpath "$work/copy.exe")" --sign "$(winpath "$work/cert.pfx")" \
  </dev/null >wine-sign.log 2>&1
code=$?
message=$(tr -d '\r' <wine-sign.log)
if [ $code -eq 1 ] && [ "$message" = "saverpack: cannot sign: osslsigncode was not found on PATH (Debian package osslsigncode)" ] &&
  cmp -s "$installer" copy.exe; then
  ok "saverpack.exe sign without a signer on PATH: $message"
else
  not_ok "saverpack.exe sign without a signer on PATH ended with $code: $message"
fi

# A stand-in signtool.exe (a test program that answers with its usage line
# and exit code 2) first on PATH: saverpack.exe runs it and reports its line,
# and refuses a password file, which signtool would need on its command line.
mkdir -p bin && cp "$(dirname "$player_ocx")/platform_probe.exe" bin/signtool.exe
signtool_run() {
  WINEPATH=$(winpath "$work/bin") "$WINE" "$check/saverpack.exe" sign "$(winpath "$work/copy.exe")" \
    --sign "$(winpath "$work/cert.pfx")" "$@" </dev/null 2>&1 | tr -d '\r'
}
message=$(signtool_run)
if [ "$message" = "saverpack: $(winpath "$work/copy.exe"): signing failed: usage: platform_probe osclass|report" ] &&
  cmp -s "$installer" copy.exe; then
  ok "saverpack.exe sign reports the failing signtool.exe: $message"
else
  not_ok "saverpack.exe sign with a failing signtool.exe: $message"
fi
message=$(signtool_run --password-file "$(winpath "$work/password.txt")")
if [[ "$message" == "saverpack: cannot sign with a password file: only signtool.exe is on PATH"* ]] &&
  cmp -s "$installer" copy.exe; then
  ok "saverpack.exe sign refuses a password file for signtool.exe"
else
  not_ok "saverpack.exe sign with a password file and only signtool.exe: $message"
fi

# The saver's files, as a quiet installation leaves them.
drive=$WINEPREFIX/drive_c
common=$(find "$drive" -maxdepth 3 -type d \( -name ProgramData -o -path '*All Users/Application Data' \) |
  head -n 1)
saver_folder=$common/Vellarmont/Aquarium
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Aquarium'
engines() { find "$drive/windows/system32" "$drive/windows/syswow64" -maxdepth 1 -iname Aquarium.scr 2>/dev/null; }
remove_saver() {
  rm -rf "$saver_folder"
  engines | while read -r engine; do rm -f "$engine"; done
  "$WINE" reg delete "$uninstall_key" /f </dev/null >/dev/null 2>&1
}
remove_saver

if "$WINE" regsvr32 /s "$(winpath "$player_ocx")" </dev/null >/dev/null 2>&1; then
  ok "the stand-in player is registered"
else
  not_ok "regsvr32 cannot register $player_ocx"
fi
timeout $((120 * ${VLX_WAIT_SCALE:-1})) "$WINE" "$(winpath "$installer")" /q </dev/null >install.log 2>&1
code=$?
if [ $code -eq 0 ]; then ok "the signed installer ran with /q and ended with 0"; else
  not_ok "the signed installer ran with /q and ended with $code"
fi
if [ -f "$saver_folder/saver.dat" ] && [ -n "$(engines)" ] &&
  "$WINE" reg query "$uninstall_key" </dev/null >/dev/null 2>&1; then
  ok "the saver is installed: $(find "$saver_folder" -type f | wc -l) files in its folder, $(engines | sed "s|^$drive|C:|")"
else
  not_ok "the saver is not installed (saver folder: $(ls "$saver_folder" 2>&1 | head -n 3 | tr '\n' ' '); engine: $(engines))"
fi
remove_saver
"$WINE" regsvr32 /u /s "$(winpath "$player_ocx")" </dev/null >/dev/null 2>&1

[ $failures -eq 0 ]

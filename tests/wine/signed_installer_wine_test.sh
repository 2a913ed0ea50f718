#!/usr/bin/env bash
# A signed installer under Wine: the example packed and signed by the Linux
# saverpack with a throwaway code-signing certificate from openssl, accepted
# by osslsigncode and by saverpack.exe, then installed quietly ("/q") with the
# stand-in player registered; the saver's files are checked and removed.
# saverpack.exe verify (crypt32) and the Linux saverpack verify (libcrypto)
# print the same verdicts on it, on four forgeries of it, which both refuse,
# and on an installer signed by a certificate that a throwaway CA issued.
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

# saverpack.exe verify, beside the Linux saverpack: the lines that say what
# was checked and found ("ok", "note", "PROBLEM") must be the same; the last
# line names the file, as each platform writes its path.
#   verify_both NAME FILE [VERIFY OPTIONS] -> $linux_code, $wine_code, $verdict
verify_both() {
  local name=$1 file=$2
  shift 2
  local wine_args=() arg
  for arg in "$@"; do
    if [ -f "$arg" ]; then wine_args+=("$(winpath "$arg")"); else wine_args+=("$arg"); fi
  done
  "$check/saverpack" verify "$file" "$@" </dev/null >"$name.linux.log" 2>&1
  linux_code=$?
  "$WINE" "$check/saverpack.exe" verify "$(winpath "$file")" "${wine_args[@]}" </dev/null 2>&1 |
    tr -d '\r' >"$name.wine.log"
  wine_code=${PIPESTATUS[0]}
  verdict=$(tail -n 1 "$name.wine.log")
  if [ "$(head -n -1 "$name.linux.log")" != "$(head -n -1 "$name.wine.log")" ]; then
    not_ok "$name: saverpack and saverpack.exe disagree:"
    diff "$name.linux.log" "$name.wine.log" | sed 's/^/    /'
    return 1
  fi
}
# expect_lines NAME CODE LINE... : both ended with CODE and printed every LINE.
expect_lines() {
  local name=$1 code=$2 line missing=
  shift 2
  for line in "$@"; do
    grep -qxF -- "$line" "$name.wine.log" || missing+=" [$line]"
  done
  if [ "$linux_code" -eq "$code" ] && [ "$wine_code" -eq "$code" ] && [ -z "$missing" ]; then
    ok "$name: $verdict"
  else
    not_ok "$name: saverpack ended with $linux_code, saverpack.exe with $wine_code (not $code); missing:$missing"
    sed 's/^/    /' "$name.wine.log"
  fi
}

signer_line='signature valid, signed by "Test Saver Author", chained to a trusted root'
verify_both "the genuine installer" "$installer" &&
  expect_lines "the genuine installer" 0 "note     $signer_line: no: self-signed certificate"
verify_both "the genuine installer with --ca" "$installer" --ca "$work/cert.pem" &&
  expect_lines "the genuine installer with --ca" 0 \
    "ok       $signer_line: yes (root \"Test Saver Author\")"

# Forgeries of the signed installer, each of which saverpack.exe refuses.
byte_at() { od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' '; }
u32_at() {
  local i value=0
  for i in 3 2 1 0; do value=$((value * 256 + $(byte_at "$1" $(($2 + i))))); done
  echo "$value"
}
put_hex() { printf '%s' "$3" | xxd -r -p | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
u32_hex() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24)); }

# The security directory entry, the certificate table it names, and the
# signature (the DER SignedData after the 8-byte WIN_CERTIFICATE header).
pe=$(u32_at "$installer" 60)
if [ "$(byte_at "$installer" $((pe + 24)))" = 11 ] && [ "$(byte_at "$installer" $((pe + 25)))" = 2 ]; then
  entry=$((pe + 24 + 112 + 4 * 8)) # PE32+
else
  entry=$((pe + 24 + 96 + 4 * 8))
fi
table_at=$(u32_at "$installer" "$entry")
table_size=$(u32_at "$installer" $((entry + 4)))
der_at=$((table_at + 8))
dd if="$installer" of=signature.der bs=1 skip="$der_at" count=$(($(u32_at "$installer" "$table_at") - 8)) \
  status=none
openssl asn1parse -inform DER -in signature.der >asn1.txt 2>&1
# "offset:d=depth hl=header l=length prim: TYPE ..." -> the content's offset in
# the signature, of the last element whose line holds the text.
content_at() {
  WANT=$1 awk 'index($0, ENVIRON["WANT"]) { split($1, o, ":"); sub("hl=", "", $2); at = o[1] + $2 }
    END { print at }' asn1.txt
}
signature_value_at=$(content_at 'l= 256 prim: OCTET STRING')
image_digest=$(osslsigncode verify -CAfile cert.pem -in "$installer" 2>/dev/null | sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p')
image_digest_at=$(content_at "[HEX DUMP]:$image_digest")
if [ -z "$signature_value_at" ] || [ -z "$image_digest" ] || [ -z "$image_digest_at" ]; then
  not_ok "the signature's parts are not found (value at '$signature_value_at', digest '$image_digest' at '$image_digest_at')"
  exit 1
fi

# (a) one byte of the signature value changed.
cp "$installer" forged-value.exe
at=$((der_at + signature_value_at + 10))
put_hex forged-value.exe "$at" "$(printf '%02x' $(($(byte_at "$installer" "$at") ^ 1)))"
verify_both "forged signature value" "$work/forged-value.exe" --ca "$work/cert.pem" &&
  expect_lines "forged signature value" 1 \
    "PROBLEM  signature: the signature value does not verify with the signer's key"

# (b) one byte of the program changed and the digest the signer vouched for
# replaced by the changed program's.
cp "$installer" forged-digest.exe
at=$(grep -boa 'This program' forged-digest.exe | head -n 1 | cut -d: -f1)
put_hex forged-digest.exe "$at" "$(printf t | xxd -p)"
new_digest=$(osslsigncode verify -CAfile cert.pem -in forged-digest.exe 2>/dev/null |
  sed -n 's/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p')
put_hex forged-digest.exe $((der_at + image_digest_at)) "$new_digest"
verify_both "forged image digest" "$work/forged-digest.exe" --ca "$work/cert.pem" &&
  expect_lines "forged image digest" 1 \
    "PROBLEM  signature: the signed attributes' messageDigest does not match the signed content (SpcIndirectDataContent)"

# (c) the signer's name, in its certificate (subject and issuer) and in the
# SignerInfo's issuer, replaced by another of the same length.
cp "$installer" forged-name.exe
xxd -p signature.der | tr -d '\n' |
  sed "s/$(printf 'Test Saver Author' | xxd -p)/$(printf 'Fake Saver Author' | xxd -p)/g" |
  xxd -r -p >forged-name.der
put_hex forged-name.exe "$der_at" "$(xxd -p forged-name.der | tr -d '\n')"
names=$(grep -c 'Fake Saver Author' <(openssl asn1parse -inform DER -in forged-name.der 2>/dev/null))
if [ "$names" -ne 3 ]; then not_ok "forged name: the name was replaced $names times, not 3"; fi
verify_both "forged signer name" "$work/forged-name.exe" --ca "$work/cert.pem" &&
  expect_lines "forged signer name" 1 \
    "PROBLEM  signature: the signer's certificate does not verify with its issuer's key"

# (d) 1 KB of unsigned bytes at the end of the certificate table: the
# security directory's size grows, the WIN_CERTIFICATE's length does not.
cp "$installer" forged-table.exe
head -c 1024 /dev/urandom >>forged-table.exe
put_hex forged-table.exe $((entry + 4)) "$(u32_hex $((table_size + 1024)))"
verify_both "forged certificate table" "$work/forged-table.exe" --ca "$work/cert.pem" &&
  expect_lines "forged certificate table" 1 \
    "PROBLEM  signature: the certificate table is $((table_size + 1024)) bytes, but its signature with padding fills only $table_size: 1024 bytes in it are not signed"

# Signed by a certificate that a throwaway CA issued, the CA's certificate
# carried in the signature: the chain leads to a trusted root only with --ca.
if openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Test Saver CA' \
    -keyout ca-key.pem -out ca.pem >>openssl.log 2>&1 &&
  openssl req -new -newkey rsa:2048 -nodes -subj '/CN=Test Saver Studio' -keyout leaf-key.pem \
    -out leaf.csr >>openssl.log 2>&1 &&
  printf 'extendedKeyUsage=codeSigning\n' >leaf.ext &&
  openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca-key.pem -set_serial 7 -days 2 \
    -extfile leaf.ext -out leaf.pem >>openssl.log 2>&1 &&
  openssl pkcs12 -export -inkey leaf-key.pem -in leaf.pem -certfile ca.pem -out leaf.pfx \
    -passout file:password.txt >>openssl.log 2>&1 &&
  if [ -f unsigned.exe ]; then cp unsigned.exe plain.exe; else
    "$check/saverpack" build "$description" -o plain.exe --stub "$check/installer.exe" \
      --library "$check/impborl.dll" >studio-sign.log 2>&1
  fi &&
  cp plain.exe studio.exe &&
  "$check/saverpack" sign studio.exe --sign leaf.pfx --password-file password.txt \
    >>studio-sign.log 2>&1; then
  studio_line='signature valid, signed by "Test Saver Studio", chained to a trusted root'
  verify_both "issued by a CA" "$work/studio.exe" &&
    expect_lines "issued by a CA" 0 \
      "note     $studio_line: no: self-signed certificate in certificate chain"
  verify_both "issued by a CA given with --ca" "$work/studio.exe" --ca "$work/ca.pem" &&
    expect_lines "issued by a CA given with --ca" 0 \
      "ok       $studio_line: yes (root \"Test Saver CA\")"
else
  not_ok "a certificate from a throwaway CA: $(tail -n 1 openssl.log) $(tail -n 1 studio-sign.log 2>/dev/null)"
fi

# Certificates that saverpack sign refuses, signed with osslsigncode itself:
# one for servers only, one whose name holds a tab.
#   sign_directly NAME SUBJECT EXTENSION
sign_directly() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -utf8 -subj "$2" -addext "$3" \
    -keyout "$1-key.pem" -out "$1.pem" >>openssl.log 2>&1 &&
    osslsigncode sign -certs "$1.pem" -key "$1-key.pem" -in plain.exe -out "$1.exe" >>openssl.log 2>&1
}
if sign_directly server '/CN=Test Saver Server' extendedKeyUsage=serverAuth; then
  verify_both "not for code signing" "$work/server.exe" --ca "$work/server.pem" &&
    expect_lines "not for code signing" 0 \
      'note     signature: the certificate of "Test Saver Server" is not for code signing (its extended key usage lacks codeSigning)'
else
  not_ok "a server certificate: $(tail -n 1 openssl.log)"
fi
if sign_directly tab "/CN=Test$(printf '\t')Saver" extendedKeyUsage=codeSigning; then
  verify_both "a tab in the name" "$work/tab.exe" --ca "$work/tab.pem" &&
    expect_lines "a tab in the name" 1 \
      "PROBLEM  signature: the signer's name holds control characters (shown as '?')"
else
  not_ok "a certificate with a tab in its name: $(tail -n 1 openssl.log)"
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

#!/bin/bash
# The release as people get it, in a 32-bit Windows: the ZIP the package
# target makes, unpacked; its programs and MSI signed with a throwaway
# certificate (copies of the ZIP's files: the build's own stay unsigned) and
# each signature verified; then Setup.exe, TolmarDeploy.exe and the model's
# MSI (beside the cabinet all models' packages share) each
# install the printer and take it away again: the wizard walked through as
# Windows XP, the tool's install and remove, and msiexec's /i and /x.
#
#   release_test.sh <build folder> <setup_ui_tests.exe> <the wizard's first model>
# Run by ctest inside scripts/win32-wine.sh, with a 32-bit Wine on PATH.
set -euo pipefail
build=$(realpath "$1") ui_tests=$2 model=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
wine_run=$source_dir/cmake/wine-run.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/tolmar-release.XXXXXX")
export WINEPREFIX=${SETUP_WINEPREFIX:-$build/wineprefix} WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" LC_ALL=zh_CN.UTF-8
sh "$source_dir/cmake/wine-prefix.sh" "$WINEPREFIX"
appDefaults='HKCU\Software\Wine\AppDefaults'
# Every Windows has the key of the user's default printer; a new prefix not.
windowsKey='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows'
madeWindowsKey=""
finish() {
    # Whatever the runs left, and what the test set for them.
    "$wine_run" "$ui_tests" --clean >/dev/null 2>&1 || true
    for program in Setup.exe TolmarDeploy.exe; do
        wine reg delete "$appDefaults\\$program" /f >/dev/null 2>&1 || true
    done
    [ -z "$madeWindowsKey" ] || wine reg delete "$windowsKey" /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap finish EXIT
fail() {
    echo "release_test: $*" >&2
    exit 1
}
windows() { winepath -w "$1" 2>/dev/null; }

cmake --build "$build" --target package >"$work/package.log" 2>&1 ||
    { cat "$work/package.log" >&2; fail "the package target failed"; }
zip=$(ls "$build"/release/TolmarPrinterDriver-*-x86*.zip 2>/dev/null | head -n 1 || true)
[ -f "$zip" ] || fail "the package target made no ZIP in $build/release"
(cd "$work" && unzip -q "$zip") || fail "$zip does not unpack"
release=$(ls -d "$work"/TolmarPrinterDriver-*/ | head -n 1)
release=${release%/}
# The model's own package, and the cabinet every model's package shares.
msi=$(ls "$release"/MSI/TolmarPrinterDriver-*-x86-"$model".msi \
    "$release"/MSI/TolmarPrinterDriver-*-x86-"$model"-placeholder.msi 2>/dev/null | head -n 1 || true)
cab=$(ls "$release"/MSI/*.cab 2>/dev/null | head -n 1 || true)
[ -f "$msi" ] && [ -f "$cab" ] || fail "the release has no package of $model or no cabinet in MSI/"
echo "unpacked $(basename "$zip"): $(ls "$release" | tr '\n' ' ')"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Tolmar test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    >/dev/null 2>&1 || fail "openssl could not make the throwaway certificate"
for file in "$release/Setup.exe" "$release/TolmarDeploy.exe" "$release/TolmarLogon.exe" "$msi" \
    "$cab"; do
    name=$(basename "$file")
    cmake -DFILE="$file" -DCERT="$work/cert.pem" -DKEY="$work/key.pem" \
        -P "$source_dir/packaging/sign.cmake" >/dev/null || fail "signing $name failed"
    report=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1) ||
        fail "osslsigncode verify rejected $name:
$report"
    grep -q "Signature verification: ok" <<<"$report" || fail "$name: no verified signature:
$report"
    grep -qi "digest algorithm *: *SHA256" <<<"$report" || fail "$name is not signed with SHA-256:
$report"
    echo "signed and verified: $name"
done

# Whether the printer of the model is there now, as the UI test program
# lists what is installed ("  <model> on <port>, driver ...").
expect_printer() {
    local wanted=$1 what=$2 listing found=no
    listing=$("$wine_run" "$ui_tests" --installed 2>&1 || true)
    grep -q "^ *$model on " <<<"$listing" && found=yes
    [ "$found" = "$wanted" ] || fail "$what: printer $model there: $found, expected $wanted:
$listing"
}

if ! wine reg query "$windowsKey" >/dev/null 2>&1; then
    madeWindowsKey=1
    wine reg add "$windowsKey" /f >/dev/null 2>&1
fi
wine reg add "$appDefaults\\Setup.exe" /v Version /d winxp /f >/dev/null 2>&1
wine reg add "$appDefaults\\TolmarDeploy.exe" /v Version /d winxp /f >/dev/null 2>&1

# The wizard: Next, Finish, with what it offers (its first model).
walk=$("$wine_run" "$ui_tests" --walk "$release" "$work/screenshots" 2>&1) ||
    fail "the signed Setup.exe did not run through its wizard:
$walk"
! grep -q "message from Setup" <<<"$walk" || fail "the wizard ended with a message:
$walk"
expect_printer yes "after the wizard's Finish"
"$wine_run" "$ui_tests" --clean >/dev/null
echo "the signed Setup.exe installed the printer through its wizard"

status=0
wine "$release/TolmarDeploy.exe" install --model "$model" --default || status=$?
[ "$status" -eq 0 ] || fail "the signed TolmarDeploy.exe install ended with $status"
expect_printer yes "after TolmarDeploy install"
status=0
wine "$release/TolmarDeploy.exe" remove --model "$model" || status=$?
[ "$status" -eq 0 ] || fail "the signed TolmarDeploy.exe remove ended with $status"
expect_printer no "after TolmarDeploy remove"
echo "the signed TolmarDeploy.exe installed and removed the printer"

# msiexec's exit code reaches a shell as its low 8 bits only: 0 is 0.
status=0
wine msiexec /i "$(windows "$msi")" /qn /norestart /l*v "$(windows "$work/install.log")" ||
    status=$?
[ "$status" -eq 0 ] || fail "msiexec /i of the signed MSI ended with $status (low 8 bits):
$(iconv -f UTF-16LE -t UTF-8 "$work/install.log" 2>/dev/null | tail -n 40)"
expect_printer yes "after msiexec /i"
status=0
wine msiexec /x "$(windows "$msi")" /qn /norestart /l*v "$(windows "$work/remove.log")" || status=$?
[ "$status" -eq 0 ] || fail "msiexec /x of the signed MSI ended with $status (low 8 bits)"
expect_printer no "after msiexec /x"
echo "the signed MSI installed and removed the printer"

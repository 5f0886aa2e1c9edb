#!/bin/bash
# Signs the programs and an MSI of both Windows builds, and the x86
# packages' cabinet, with a throwaway certificate, checks every signature
# with osslsigncode, and runs the signed x86_64 Setup.exe under Wine through
# its wizard (the i686 one cannot run here). Copies are signed; the build's
# own files stay as they are.
#
#   signing_test.sh <sign.cmake> <x64 Setup.exe> <x64 TolmarDeploy.exe> <an x64 MSI>
#                   <i686 build folder> <placeholder package> <wine-run.sh> <setup_ui_tests.exe>
set -euo pipefail
sign_script=$1 setup64=$2 deploy64=$3 msi64=$4 build32=$5 package=$6 wine_run=$7 ui_tests=$8

work=$(mktemp -d "${TMPDIR:-/tmp}/tolmar-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "signing_test: $*" >&2
    exit 1
}

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Tolmar test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    >/dev/null 2>&1 || fail "openssl could not make the throwaway certificate"

msi32=$(ls "$build32"/MSI/TolmarPrinterDriver-*-x86*.msi 2>/dev/null | head -n 1 || true)
cab32=$(ls "$build32"/MSI/*.cab 2>/dev/null | head -n 1 || true)
for file in "$build32/Setup.exe" "$build32/TolmarDeploy.exe" "$msi32" "$cab32"; do
    [ -f "$file" ] || fail "${file:-the x86 MSI or its cabinet} is missing: build the win32 preset first"
done

mkdir -p "$work/x64" "$work/x86"
cp "$setup64" "$deploy64" "$msi64" "$work/x64/"
cp "$build32/Setup.exe" "$build32/TolmarDeploy.exe" "$msi32" "$cab32" "$work/x86/"
for file in "$work"/x64/* "$work"/x86/*; do
    name="$(basename "$(dirname "$file")")/$(basename "$file")"
    cmake -DFILE="$file" -DCERT="$work/cert.pem" -DKEY="$work/key.pem" -P "$sign_script" \
        >/dev/null || fail "signing $name failed"
    report=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1) ||
        fail "osslsigncode verify rejected $name:
$report"
    grep -q "Signature verification: ok" <<<"$report" || fail "$name: no verified signature:
$report"
    grep -qi "digest algorithm *: *SHA256" <<<"$report" || fail "$name is not signed with SHA-256:
$report"
    echo "signed and verified: $name"
done

# The signed wizard still runs: walk through it in a folder with the driver
# package, then take away what its Finish installed.
cp -r "$package/win2k" "$package/win9x" "$work/x64/"
export LC_ALL=zh_CN.UTF-8
status=0
"$wine_run" "$ui_tests" --walk "$work/x64" "$work/screenshots" || status=$?
"$wine_run" "$ui_tests" --clean >/dev/null || true
[ "$status" -eq 0 ] || fail "the signed x86_64 Setup.exe did not run through its wizard (status $status)"
echo "the signed x86_64 Setup.exe ran through its wizard under Wine"

#!/bin/bash
# Builds the release of the current commit twice, from two clones in two
# differently named folders, and compares what came out byte for byte: the
# ZIP, the executables, each model's MSI and their cabinet. Prints the
# SHA-256 of each.
#
#   bash scripts/reproduce-release.sh [work folder]
#
# It builds the commit, not uncommitted changes. SETUP_SIGN_CERT and
# SETUP_SIGN_KEY in the environment sign both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
commit=$(git rev-parse HEAD)
work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/tolmar-reproduce.XXXXXX")}
mkdir -p "$work"
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "reproduce-release: uncommitted changes are not part of the builds" >&2
sh scripts/bootstrap.sh

folders=("$work/first" "$work/a second, longer folder")
for folder in "${folders[@]}"; do
    rm -rf "$folder"
    git clone --quiet --no-local "$root" "$folder"
    git -C "$folder" checkout --quiet "$commit"
    echo "== building $commit in $folder"
    (cd "$folder" && cmake --preset win32 >/dev/null &&
        cmake --build --preset win32 --target package -j "$(nproc)" >"$folder.log" 2>&1) ||
        { tail -30 "$folder.log" >&2; exit 1; }
done

status=0
compare() {
    local name=$1 first=$2 second=$3
    if cmp -s "$first" "$second"; then
        printf '%-12s same      %s\n' "$name" "$(sha256sum <"$first" | cut -d' ' -f1)"
    else
        printf '%-12s DIFFERENT %s / %s\n' "$name" "$(sha256sum <"$first" | cut -d' ' -f1)" \
            "$(sha256sum <"$second" | cut -d' ' -f1)"
        status=1
    fi
}
one=${folders[0]}/build/win32
two=${folders[1]}/build/win32
# The packages take the signed copies when the builds sign.
programs=.
[ -d "$one/signed" ] && programs=signed
compare Setup.exe "$one/$programs/Setup.exe" "$two/$programs/Setup.exe"
compare TolmarDeploy "$one/$programs/TolmarDeploy.exe" "$two/$programs/TolmarDeploy.exe"
compare TolmarLogon "$one/$programs/TolmarLogon.exe" "$two/$programs/TolmarLogon.exe"
for package in "$one"/MSI/*; do
    name=$(basename "$package")
    compare "${name##*-x86-}" "$package" "$two/MSI/$name"
done
zip=$(cd "$one/release" && ls *.zip)
compare ZIP "$one/release/$zip" "$two/release/$zip"
echo "($zip)"
exit $status

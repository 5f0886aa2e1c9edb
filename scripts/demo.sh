#!/bin/bash
# Shows the setup wizard at work, under Wine, in a prefix of its own.
#
#   bash scripts/demo.sh [version]
#
# version is the Windows version Wine pretends to be for Setup.exe: winxp
# (the default), win95, win98, winme, nt40, win2k, win2003 or vista (or one
# the program does not support, such as win7).
#
# Builds what is missing, lays out build/demo/ as the program expects it
# (Setup.exe beside the folders "win2k" and "win9x", whose driver files are
# placeholders), then runs the wizard: on your display when there is one (you
# click through it yourself), otherwise on a virtual display where it walks
# through Next, the About box and Finish by itself and saves screenshots in
# build/demo/screenshots. Ends with a summary of what was installed.
#
# Setup.exe here is the x86_64 build: Wine on this machine cannot run the
# 32-bit program people install with, and a 64-bit process cannot create the
# printer of a 32-bit driver on the NT family (the program says so). Under
# win95, win98 or winme the printer is created.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/build/demo
helper=$root/build/win64/tests/setup_ui_tests.exe

export WINEPREFIX=$demo/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The program reads its Chinese through the ANSI functions: code page 936.
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

step() { printf '\n== %s\n' "$*"; }

# Runs a command silently; shows its output only when it fails.
quietly() {
    local log status=0
    log=$(mktemp)
    "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        cat "$log" >&2
        echo "demo: failed ($status): $*" >&2
    fi
    rm -f "$log"
    return "$status"
}

# One Wine session: the server, Wine's desktop process and the wizard. Wine's
# desktop must start on the display the screenshots are taken from, so the
# whole session runs there.
session() {
    local mode=$1 version=$2 status=0
    wineserver -p
    quietly wine wineboot || true
    # Start from nothing installed, whatever an earlier run left.
    quietly wine "$helper" --clean
    quietly wine reg add 'HKCU\Software\Wine\AppDefaults\Setup.exe' /v Version /d "$version" /f
    # On a desktop with a window manager, let it manage the wizard's windows;
    # on the bare virtual display Wine draws their frames itself.
    local managed=Y
    [ "$mode" = walk ] && managed=N
    quietly wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f
    if [ "$mode" = walk ]; then
        wine "$helper" --walk "$demo" "$demo/screenshots" || status=$?
    else
        (cd "$demo" && wine Setup.exe) || status=$?
    fi
    echo
    echo "What was installed (drive C: is $WINEPREFIX/drive_c):"
    wine "$helper" --installed || status=$?
    wineserver -k >/dev/null 2>&1 || true
    return "$status"
}

if [ "${1:-}" = --session ]; then
    status=0
    session "$2" "$3" || status=$?
    exit "$status"
fi

version=${1:-winxp}
case $version in
win95 | win98 | winme | nt351 | nt40 | win2k | winxp | win2003 | vista | win7 | win8 | win81 | win10) ;;
*)
    echo "usage: bash scripts/demo.sh [win95|win98|winme|nt40|win2k|winxp|win2003|vista|win7]" >&2
    exit 2
    ;;
esac

step "Checking the tools"
sh scripts/bootstrap.sh

step "Building Setup.exe (x86_64, for Wine) and the helper that drives it"
[ -f build/win64/CMakeCache.txt ] || quietly cmake --preset win64
quietly cmake --build --preset win64 --target Setup setup_ui_tests -j "$(nproc)"

step "Preparing the Wine prefix build/demo/prefix (the first time takes a while)"
mkdir -p "$demo"
quietly sh cmake/wine-prefix.sh "$WINEPREFIX"

step "Laying out build/demo"
cp build/win64/Setup.exe "$demo/Setup.exe"
placeholders() {
    local folder=$demo/$1
    shift
    rm -rf "$folder"
    mkdir -p "$folder"
    for name in "$@"; do
        printf 'placeholder driver file %s\r\n' "$name" >"$folder/$name"
    done
    echo "  $(basename "$folder")/: $# placeholder driver files"
}
echo "  Setup.exe"
placeholders win2k QM47.DLL QM4712II.GPD QM4712III.GPD QM4716II.GPD QM4718II.GPD \
    QM4718III.GPD QM4720.GPD QM4720X.GPD QM4720II.GPD QM47250.GPD QM4720XII.GPD QM4706.GPD \
    QM47240.GPD QM47240II.GPD QM4716III.GPD QM4720XIII.GPD uniDRVui.DLL uniDRV.DLL \
    UNIDRV.HLP UNIRES.DLL TTFSUB.GPD STDNAMES.GPD
placeholders win9x QM47.DRV QM47K.DRV QM47V.DRV iconlib.DLL uniDRV.DLL uniDRV.hlp

# A server left running by something else would keep its own desktop.
wineserver -k >/dev/null 2>&1 || true
status=0
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    step "Running the wizard on your display, as Windows $version"
    echo "Click through it: Next, then Finish (or Exit). The demo goes on when it ends."
    session run "$version" || status=$?
else
    step "No display: walking through the wizard on a virtual one, as Windows $version"
    rm -rf "$demo/screenshots"
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --session walk "$version" || status=$?
    echo
    echo "Screenshots in build/demo/screenshots: $(ls "$demo/screenshots" 2>/dev/null | tr '\n' ' ')"
fi
[ "$status" -eq 0 ] || echo "demo: something did not work (status $status)" >&2
exit "$status"

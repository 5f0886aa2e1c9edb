#!/bin/bash
# Shows the setup wizard at work: the i686 Setup.exe as it ships, in a
# 32-bit Windows (Wine, through scripts/win32-wine.sh), in a prefix of its own.
#
#   bash scripts/demo.sh [version]
#
# Without a version it shows both families the program installs for: first
# Windows 98 (the whole installation: files, driver, printer, default
# printer), then Windows XP. With one (win95, win98, winme, nt40, win2k,
# winxp, win2003, vista, or one the program does not support, such as win7)
# it shows that one only.
#
# Builds what is missing, lays out build/demo/ as the program expects it
# (Setup.exe beside the folders "win2k" and "win9x", whose driver files are
# placeholders), then runs the wizard: on your display when there is one (you
# click through it yourself), otherwise on a virtual display where it walks
# through Next, the About box and Finish by itself and saves screenshots in
# build/demo/screenshots/<version>. Each run ends with a summary of what was
# installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/build/demo
helper=$root/build/win32/tests/setup_ui_tests.exe

export WINEPREFIX=$demo/prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

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

# What the demo says about a family before its run.
explain() {
    case $1 in
    win95 | win98 | winme)
        echo "Windows $1 is of the Windows 9x family: the program copies the driver files"
        echo "from win9x, registers the driver and creates the printer as the default one."
        ;;
    nt40 | win2k | winxp | win2003 | vista)
        echo "Windows $1 is of the NT family: the program copies the driver files from win2k,"
        echo "registers the driver for \"Windows NT x86\", creates the printer on it and names"
        echo "it as the user's default printer."
        ;;
    *)
        echo "The program does not support Windows $1: it says so at Finish and installs nothing."
        ;;
    esac
}

# One Wine session: the server, Wine's desktop process and the wizard. Wine's
# desktop must start on the display the screenshots are taken from, so the
# whole session runs there. The program reads its Chinese through the ANSI
# functions: code page 936, from the zh_CN.UTF-8 locale.
session() {
    local mode=$1 version=$2 status=0
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
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
        mkdir -p "$demo/screenshots/$version"
        wine "$helper" --walk "$demo" "$demo/screenshots/$version" || status=$?
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

# Everything below the tools' check runs inside the 32-bit Wine.
if [ "${1:-}" != --inside ]; then
    for version in ${1:-}; do
        case $version in
        win95 | win98 | winme | nt351 | nt40 | win2k | winxp | win2003 | vista | win7 | win8 | win81 | win10) ;;
        *)
            echo "usage: bash scripts/demo.sh [win95|win98|winme|nt40|win2k|winxp|win2003|vista|win7]" >&2
            exit 2
            ;;
        esac
    done
    step "Checking the tools"
    sh scripts/bootstrap.sh
    sh scripts/win32-wine.sh prepare
    echo "  a 32-bit Windows: $(sh scripts/win32-wine.sh mode)"
    exec sh scripts/win32-wine.sh run bash "$0" --inside "$@"
fi
shift

versions=${1:-"win98 winxp"}

step "Building Setup.exe (i686, as it ships) and the helper that drives it"
[ -f build/win32/CMakeCache.txt ] || quietly cmake --preset win32
quietly cmake --build --preset win32 --target Setup setup_ui_tests -j "$(nproc)"

step "Preparing the Wine prefix build/demo/prefix"
mkdir -p "$demo"
quietly sh cmake/wine-prefix.sh "$WINEPREFIX"

step "Laying out build/demo"
cp build/win32/Setup.exe "$demo/Setup.exe"
rm -rf "$demo/win2k" "$demo/win9x"
quietly wine "$helper" --lay-out "$demo"
# That server and its desktop must be gone before the wizard's session: the
# desktop has to start on the display the screenshots come from.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
echo "  Setup.exe"
for folder in win2k win9x; do
    echo "  $folder/: $(ls "$demo/$folder" | wc -l) placeholder driver files"
done

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    mode=run
else
    mode=walk
    rm -rf "$demo/screenshots"
fi
status=0
for version in $versions; do
    if [ "$mode" = run ]; then
        step "Running the wizard on your display, as Windows $version"
        explain "$version"
        echo "Click through it: Next, then Finish (or Exit). The demo goes on when it ends."
        session run "$version" || status=$?
    else
        step "No display: walking through the wizard on a virtual one, as Windows $version"
        explain "$version"
        echo
        xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --session walk "$version" || status=$?
        echo
        echo "Screenshots in build/demo/screenshots/$version:" \
            "$(ls "$demo/screenshots/$version" 2>/dev/null | tr '\n' ' ')"
    fi
done
[ "$status" -eq 0 ] || echo "demo: something did not work (status $status)" >&2
exit "$status"

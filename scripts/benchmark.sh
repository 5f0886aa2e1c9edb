#!/bin/bash
# Measures the program against bare baselines built and run the same way, in
# one run, and prints a table of figures, ratios and goals:
#   size of the shipped i686 Setup.exe against a one-dialog program built the
#   same way (no C runtime),
#   start-up to the first visible page of the i686 programs as they ship, in
#   a 32-bit Windows (Wine, through scripts/win32-wine.sh), against the
#   same first page shown bare (common controls loaded the same way) and
#   against the one-dialog program,
#   a full NT and 9x installation under Wine against the same calls made bare,
#   TolmarDeploy's silent install against the same calls made bare, and its
#   install over an existing installation (reported, no goal), and the size
#   of the release ZIP with its MSI per model (reported).
# BENCH_RUNS sets the number of timed start-up runs of each program (at least
# 10; 30 by default); an installation takes some milliseconds, so it is run
# four times as often, which keeps the machine's other work out of its median.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

die() {
    echo "benchmark: $*" >&2
    exit 1
}

runs=${BENCH_RUNS:-30}
[[ $runs =~ ^[0-9]+$ ]] && ((runs >= 10)) || die "BENCH_RUNS must be a number of at least 10"

win32=$root/build/win32
if [ "${1:-}" != --inside ]; then
for tool in cmake i686-w64-mingw32-g++-posix; do
    command -v "$tool" >/dev/null || die "$tool is missing: run sh scripts/bootstrap.sh"
done

# ---- Build -------------------------------------------------------------------
# The bench targets are EXCLUDE_FROM_ALL: built here by name, never by the
# normal build.
jobs=$(nproc)
quiet() {
    local what=$1 log
    shift
    log=$(mktemp)
    "$@" >"$log" 2>&1 || {
        cat "$log" >&2
        rm -f "$log"
        die "$what failed"
    }
    rm -f "$log"
}
quiet "configuring the win32 preset" cmake --preset win32
quiet "building the win32 preset" cmake --build --preset win32 -j "$jobs" --target Setup \
    TolmarDeploy TolmarLogon bare_dialog first_page_dialog startup_probe install_probe
# The release, for its size: it carries an MSI per model.
quiet "building the release" cmake --build --preset win32 -j "$jobs" --target package
for file in "$win32/Setup.exe" "$win32/TolmarDeploy.exe" "$win32/TolmarLogon.exe" \
    "$win32/bench/bare_dialog.exe" \
    "$win32/bench/first_page_dialog.exe" "$win32/bench/startup_probe.exe" \
    "$win32/bench/install_probe.exe"; do
    [ -f "$file" ] || die "the build did not produce $file"
done
sh scripts/win32-wine.sh prepare || die "no 32-bit Windows to measure in"
exec sh scripts/win32-wine.sh run bash "$0" --inside
fi

log=$(mktemp)
server_started=""
finish() {
    if [ -n "$server_started" ]; then wineserver -k >/dev/null 2>&1 || true; fi
    rm -f "$log"
}
trap finish EXIT

# Runs a command quietly; on failure shows its output and stops.
quiet() {
    local what=$1
    shift
    "$@" >"$log" 2>&1 || {
        cat "$log" >&2
        die "$what failed"
    }
}

# ---- Wine --------------------------------------------------------------------
# Our own prefix; Wine's null display driver (no DISPLAY), so the figures do
# not depend on an X server. Code page 936, as the program's users have it.
export WINEPREFIX=$root/build/bench/wineprefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
unset DISPLAY
quiet "creating the Wine prefix $WINEPREFIX" sh cmake/wine-prefix.sh "$WINEPREFIX"
# A persistent server: the runs measure the programs, not the server's start.
# One left running for this prefix by an earlier run will do as well; either
# way it is ended when the script ends.
server_started=1
wineserver -p >/dev/null 2>&1 || true
quiet "starting Wine in $WINEPREFIX" wine wineboot

windowsVersion() {
    quiet "setting the Windows version of $1" wine reg add \
        "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d "$2" /f
}
windowsPath() {
    winepath -w "$1" 2>/dev/null || die "winepath cannot convert $1"
}
# field NAME OUTPUT: the value of NAME=... in a probe's output.
field() {
    local value
    value=$(printf '%s\n' "$2" | tr -d '\r' | sed -n "s/^$1=//p" | head -n 1)
    [ -n "$value" ] || die "a probe gave no $1; its output was: $2"
    printf '%s' "$value"
}
# probe WHAT COMMAND...: the probe's output; its errors stop the script.
probe() {
    local what=$1 out
    shift
    out=$(timeout 600 "$@" 2>"$log") || {
        cat "$log" >&2
        die "$what failed"
    }
    printf '%s' "$out"
}

loadBefore=$(cut -d ' ' -f 1 /proc/loadavg)

# ---- 1. Size -----------------------------------------------------------------
setupSize=$(stat -c %s "$win32/Setup.exe")
bareSize=$(stat -c %s "$win32/bench/bare_dialog.exe")
sizeGoal=24576

# ---- 2. Start-up -------------------------------------------------------------
bareCaption="基准对话框"
setupCaption="选择操作系统"
windowsVersion Setup.exe winxp
windowsVersion bare_dialog.exe winxp
windowsVersion first_page_dialog.exe winxp
# The three take turns in one probe: 1 is Setup.exe, 2 the bare dialog, 3 the
# bare first page.
start=$(probe "timing the start-up" wine "$win32/bench/startup_probe.exe" "$runs" \
    "$(windowsPath "$win32/Setup.exe")" "$setupCaption" \
    "$(windowsPath "$win32/bench/bare_dialog.exe")" "$bareCaption" \
    "$(windowsPath "$win32/bench/first_page_dialog.exe")" "$setupCaption")

# ---- 3. Installation ---------------------------------------------------------
installRuns=$((runs * 4))
installProbe=$win32/bench/install_probe.exe
windowsVersion install_probe.exe winxp
ntInstall=$(probe "timing the NT installation" wine "$installProbe" nt "$installRuns")
windowsVersion install_probe.exe win98
w9xInstall=$(probe "timing the 9x installation" wine "$installProbe" 9x "$installRuns")
deployInstall=$(probe "timing TolmarDeploy's silent install" wine "$installProbe" deploy "$installRuns")

# ---- Report ------------------------------------------------------------------
# ratio A B: A/B with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# verdict CONDITION: met when awk finds it true.
verdict() { awk "BEGIN { exit !($1) }" && echo "met" || echo "NOT met"; }
row() { printf '%-30s %14s %14s %7s  %-14s %s\n' "$@"; }

sizeRatio=$(ratio "$setupSize" "$bareSize")
setupMs=$(field median_ms_1 "$start")
bareMs=$(field median_ms_2 "$start")
startRatio=$(ratio "$setupMs" "$bareMs")
pageMs=$(field median_ms_3 "$start")
pageRatio=$(ratio "$setupMs" "$pageMs")
ntMs=$(field installer_median_ms "$ntInstall")
ntBareMs=$(field bare_median_ms "$ntInstall")
ntRatio=$(ratio "$ntMs" "$ntBareMs")
w9xMs=$(field installer_median_ms "$w9xInstall")
w9xBareMs=$(field bare_median_ms "$w9xInstall")
w9xRatio=$(ratio "$w9xMs" "$w9xBareMs")
w9xPort=$(field port_used "$w9xInstall")
deployMs=$(field deploy_median_ms "$deployInstall")
deployBareMs=$(field bare_median_ms "$deployInstall")
deployRatio=$(ratio "$deployMs" "$deployBareMs")
againMs=$(field deploy_again_median_ms "$deployInstall")
againBareMs=$(field bare_again_median_ms "$deployInstall")
againRatio=$(ratio "$againMs" "$againBareMs")
deploySize=$(stat -c %s "$win32/TolmarDeploy.exe")
logonSize=$(stat -c %s "$win32/TolmarLogon.exe")
release=$(ls "$win32"/release/TolmarPrinterDriver-*.zip | head -n 1)
releaseSize=$(stat -c %s "$release")
modelPackages=$(ls "$win32"/MSI/*.msi | wc -l)

echo
row "figure" "measured" "baseline" "ratio" "goal" "result"
row "Setup.exe size (i686)" "$setupSize B" "$bareSize B" "${sizeRatio}x" "<= $sizeGoal B" \
    "$(verdict "$setupSize <= $sizeGoal")"
row "start-up vs same first page" "$setupMs ms" "$pageMs ms" "${pageRatio}x" "<= 1.05x" \
    "$(verdict "$pageRatio <= 1.05")"
row "start-up vs one tiny dialog" "$setupMs ms" "$bareMs ms" "${startRatio}x" "(reference)" ""
row "NT installation (i686, LPT1)" "$ntMs ms" "$ntBareMs ms" "${ntRatio}x" "<= 1.50x" \
    "$(verdict "$ntRatio <= 1.50")"
row "9x installation (i686, $w9xPort)" "$w9xMs ms" "$w9xBareMs ms" "${w9xRatio}x" "<= 1.50x" \
    "$(verdict "$w9xRatio <= 1.50")"
row "TolmarDeploy install (i686, 9x)" "$deployMs ms" "$deployBareMs ms" "${deployRatio}x" "<= 1.10x" \
    "$(verdict "$deployRatio <= 1.10")"
row "  again, over the installed" "$againMs ms" "$againBareMs ms" "${againRatio}x" "(reported)" "-"
row "TolmarDeploy.exe size (i686)" "$deploySize B" "-" "-" "(reported)" "-"
row "TolmarLogon.exe size (i686)" "$logonSize B" "-" "-" "(reported)" "-"
row "release ZIP ($modelPackages model MSIs)" "$releaseSize B" "-" "-" "(reported)" "-"
echo
echo "Medians of $runs start-ups and $installRuns installations each; each program takes turns"
echo "with its baselines, after one uncounted round (for the installations, one whose end"
echo "states are checked to match). Baselines: bench/first_page_dialog (the program's own"
echo "first page and comctl32 loaded from the system folder, nothing else), bench/bare_dialog"
echo "(one tiny dialog, no common controls), both built like Setup.exe without the C runtime"
echo "in the same preset; the same CopyFileA, spooler and registry calls made directly.
$(wine --version 2>/dev/null), 32-bit prefix ($SETUP_WIN32_MODE), null display driver, code page 936;"
echo "Setup.exe and its baselines as winxp, the NT installation as winxp, the 9x one as"
echo "win98; TolmarDeploy as win98 on LPT1 with --default and its log, timed in-process from"
echo "its parsed command line on, against its package check and the bare 9x steps."
echo "Load average of this $(nproc)-core machine before the timed runs: $loadBefore (other"
echo "work running meanwhile lengthens the times; the ratios, taken in turns, suffer less)."
ntError=$(field add_printer_error_installer "$ntInstall")
if [ "$ntError" != 0 ]; then
    echo "NT: AddPrinterA failed (error $ntError, bare steps: $(field add_printer_error_bare "$ntInstall"))."
fi
if [ "$w9xPort" != COM1 ]; then
    echo "9x: COM1 did not open (error $(field com1_error "$w9xInstall")); installed on LPT1"
    echo "    without the serial steps."
else
    echo "9x: on COM1, with the serial steps (COM1's state read, the DCB written)."
fi

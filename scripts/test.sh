#!/bin/bash
# The one test command: installs what is missing, builds the two presets and
# runs every suite once: host (and under ASan/UBSan), then the Windows suites
# in a 32-bit Windows (scripts/win32-wine.sh: wine32 where the machine runs
# 32-bit programs, otherwise a 32-bit Wine under qemu-user), where the i686
# programs run as they ship. A line per build with its time (a build's own
# output only when it fails); the Windows suites run in a fresh copy of the
# machine's template Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds() { echo $(($(date +%s) - $1)); }

# ---- The Windows suites, run inside the 32-bit Wine (see the end) -------------
if [ "${1:-}" = --windows-suites ]; then
    mode=$2
    status=0
    export WINEPREFIX="$root/build/win32/wineprefix" WINEARCH=win32 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    ui_prefix=$root/build/win32/wineprefix-ui
    ui_log=$root/build/win32/ui-suite.log
    finish() {
        # Only our own prefixes' servers, whether a suite ended or was interrupted.
        for prefix in "$WINEPREFIX" "$ui_prefix" "$WINEPREFIX-wow64"; do
            [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
        done
    }
    trap finish EXIT
    begin=$(date +%s)
    sh cmake/wine-prefix.sh --fresh "$WINEPREFIX"
    sh cmake/wine-prefix.sh --fresh "$ui_prefix"
    echo "fresh copies of the template prefix: $(seconds "$begin") s"
    # A persistent server keeps Wine's helpers from holding ctest's pipes.
    wine_session() {
        # A server left running in this prefix (a manual run) would refuse -p.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -p
        wine wineboot >/dev/null 2>&1 || true
        local result=0
        ctest --preset win32 "$@" || result=1
        wineserver -k || true
        return $result
    }
    # Holding Setup.exe at a breakpoint (Wine's debugger calls) crashes the
    # program under qemu-user: that one case runs where the kernel runs it.
    ui_exclude=""
    if [ "$mode" = qemu ]; then
        ui_exclude='^ui\.SetupUi\.FailedRegistryWriteShowsTheErrorMessage'
        echo "NOT RUN under qemu-user: ui.SetupUi.FailedRegistryWriteShowsTheErrorMessageAndInstallationGoesOn"
        echo "  (it debugs Setup.exe, which qemu-user cannot host; it runs where the kernel runs 32-bit code)"
    fi
    # The UI suite beside the others, in a prefix of its own, on a virtual
    # display where Wine draws with X and the suite saves screenshots of the
    # pages (Wine's desktop process must start on that display, so the whole
    # Wine session runs inside it). Without X, Wine's null display driver
    # runs the same windows unseen.
    echo "== UI suite in build/win32/wineprefix-ui, beside the others (screenshots in build/win32/screenshots) =="
    rm -rf build/win32/screenshots
    ui_session="$(declare -f wine_session); wine_session -R '^ui\.' ${ui_exclude:+-E '$ui_exclude'}"
    (
        export SETUP_WINEPREFIX=$ui_prefix WINEPREFIX=$ui_prefix
        if command -v xvfb-run >/dev/null 2>&1; then
            xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$ui_session"
        else
            bash -c "$ui_session"
        fi
    ) >"$ui_log" 2>&1 &
    ui_suite=$!
    echo "== Windows suites in build/win32/wineprefix =="
    wine_session -E '^(ui|wow64)\.' || status=1
    ui_status=0
    wait $ui_suite || ui_status=1
    echo "== UI suite (its output, from $ui_log) =="
    cat "$ui_log"
    [ "$ui_status" -eq 0 ] || status=1
    # A 64-bit Windows running the i686 programs under WOW64: a 64-bit Wine
    # with wine32 beside it, which needs a kernel that runs 32-bit code.
    if [ "$mode" = native ]; then
        echo "== WOW64 cases in a 64-bit Windows =="
        WINEARCH=win64 sh cmake/wine-prefix.sh --fresh "$WINEPREFIX-wow64"
        WINEPREFIX=$WINEPREFIX-wow64 WINEARCH=win64 \
            bash -c "$(declare -f wine_session); wine_session -R '^wow64\.'" || status=1
    fi
    exit $status
fi

started=$(date +%s)
sh scripts/bootstrap.sh
sh scripts/win32-wine.sh prepare
mode=$(sh scripts/win32-wine.sh mode)
case $mode in
native) windows="a 32-bit Wine on this machine's own 32-bit layer; WOW64 cases run" ;;
*) windows="a 32-bit Wine under qemu-user (this machine runs no 32-bit program itself);
  WOW64 cases NOT RUN: a 64-bit Wine runs 32-bit programs only on a kernel that does" ;;
esac
echo "32-bit Windows: $windows"

jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
trap 'echo "test.sh: interrupted" >&2; exit 130' INT TERM
for preset in host win32; do
    begin=$(date +%s)
    if cmake --preset "$preset" >"$logs/$preset" 2>&1 &&
        cmake --build --preset "$preset" -j "$jobs" >>"$logs/$preset" 2>&1; then
        printf 'build %-6s %4d s\n' "$preset" "$(seconds "$begin")"
    else
        cat "$logs/$preset" >&2
        printf 'build %-6s FAILED after %d s\n' "$preset" "$(seconds "$begin")" >&2
        exit 1
    fi
done

status=0
begin=$(date +%s)
echo "== host suites =="
ctest --preset host -j "$jobs" || status=1
echo "host suites: $(seconds "$begin") s"

echo "== Windows suites in a 32-bit Windows ($mode) =="
begin=$(date +%s)
# Each program Wine failed to start and the runner started once more.
export SETUP_WINE_RESTARTS="$root/build/win32/wine-restarts.txt"
rm -f "$SETUP_WINE_RESTARTS"
sh scripts/win32-wine.sh run bash scripts/test.sh --windows-suites "$mode" || status=1
echo "Windows suites: $(seconds "$begin") s"

restarts=0
[ -f "$SETUP_WINE_RESTARTS" ] && restarts=$(wc -l <"$SETUP_WINE_RESTARTS")
echo "Wine failed to start $restarts program(s), started once more"
[ "$restarts" -eq 0 ] || sed 's/^/  /' "$SETUP_WINE_RESTARTS"
echo "32-bit Windows: $windows"
echo "test.sh: $([ "$status" -eq 0 ] && echo passed || echo FAILED) in $(seconds "$started") s"
exit $status

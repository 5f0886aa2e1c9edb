#!/bin/bash
# The one test command: installs what is missing, builds the three presets and
# runs every suite (host, host under ASan/UBSan, Windows tests under Wine) once.
# A line per build with its time (a build's own output only when it fails);
# the Windows suites run in a fresh copy of the machine's template Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
sh scripts/bootstrap.sh
# Whether the i686 programs we ship can be run here, said again at the end.
if sh scripts/runs-32-bit.sh 2>/dev/null; then
    machine32="this machine runs 32-bit programs (wine32 installed)"
else
    reason=$(sh scripts/runs-32-bit.sh 2>&1 || true)
    machine32="NOT RUN: the i686 programs are read, not run: ${reason%% (*}"
fi
echo "32-bit: $machine32"

jobs=$(nproc)
logs=$(mktemp -d)
export WINEPREFIX="$root/build/win64/wineprefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Each program Wine failed to start and the runner or a test started once more.
export SETUP_WINE_RESTARTS="$root/build/win64/wine-restarts.txt"
finish() {
    # Only our own prefix's server, whether a suite ended or was interrupted.
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1 || true
    rm -rf "$logs"
}
trap finish EXIT
trap 'echo "test.sh: interrupted" >&2; exit 130' INT TERM

seconds() { echo $(($(date +%s) - $1)); }

# The win32 preset first: the win64 build checks that its Setup.exe is the
# one the current sources make (it builds it again when it is not).
for preset in host win32 win64; do
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

echo "== Windows suites under Wine =="
begin=$(date +%s)
sh cmake/wine-prefix.sh --fresh "$WINEPREFIX"
echo "fresh copy of the template prefix: $(seconds "$begin") s"
rm -f "$SETUP_WINE_RESTARTS"
# A persistent server keeps Wine's helpers from holding ctest's pipes.
begin=$(date +%s)
wine_session() {
    # A server left running in this prefix (a manual run) would refuse -p.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    wine wineboot >/dev/null 2>&1 || true
    local result=0
    ctest --preset win64 "$@" || result=1
    wineserver -k || true
    return $result
}
if command -v xvfb-run >/dev/null 2>&1; then
    wine_session -E '^ui\.' || status=1
    # The UI suite on a virtual display, where Wine draws with X and the suite
    # saves screenshots of the pages. Wine's desktop process must start on
    # that display, so the whole Wine session runs inside it.
    echo "== UI suite on a virtual display (screenshots in build/win64/screenshots) =="
    rm -rf build/win64/screenshots
    wineserver -w || true
    xvfb-run -a -s "-screen 0 1024x768x24" \
        bash -c "$(declare -f wine_session); wine_session -R '^ui\.'" || status=1
else
    # Without X, Wine's null display driver runs the same windows unseen.
    wine_session || status=1
fi
echo "Windows suites: $(seconds "$begin") s"

restarts=0
[ -f "$SETUP_WINE_RESTARTS" ] && restarts=$(wc -l <"$SETUP_WINE_RESTARTS")
echo "Wine failed to start $restarts program(s), started once more"
[ "$restarts" -eq 0 ] || sed 's/^/  /' "$SETUP_WINE_RESTARTS"
echo "32-bit: $machine32"
echo "test.sh: $([ "$status" -eq 0 ] && echo passed || echo FAILED) in $(seconds "$started") s"
exit $status

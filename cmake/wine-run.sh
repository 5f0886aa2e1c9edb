#!/bin/sh
# Runs a Windows program of the i686 build in a 32-bit Windows: the private
# WINEARCH=win32 prefix of the build folder it belongs to (or
# $SETUP_WINEPREFIX). Used by ctest as the cross-compiling emulator, inside
# scripts/win32-wine.sh, which puts a Wine that runs 32-bit programs on PATH.
# A test of the gtest suite Wow64 runs in a 64-bit Windows instead, the
# prefix wineprefix-wow64 beside it: the program under WOW64, as on a 64-bit
# XP or Vista. Only where the machine runs 32-bit programs itself: the
# test command leaves those out elsewhere.
#   SETUP_WINE_VERSION=winxp  makes Wine report that Windows version to this
#                             program (set per test by CMake).
#   SETUP_WINE_RESTARTS=file  gets a line for each program started once more
#                             (see the end).
set -eu
exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$(dirname "$exe")" && pwd)
while [ ! -f "$build/CMakeCache.txt" ] && [ "$build" != / ]; do build=$(dirname "$build"); done
# The test's name, from the filter ctest gives each test program; a listing
# of the tests (ctest's discovery) runs in the 32-bit prefix, whatever its filter.
name=$(basename "$exe")
listing=""
for arg in "$@"; do
    case $arg in
    --gtest_filter=*) name=${arg#--gtest_filter=} ;;
    --gtest_list_tests) listing=1 ;;
    esac
done
case $listing$name in
Wow64.*)
    export WINEPREFIX="$build/wineprefix-wow64" WINEARCH=win64
    # The test command's server runs in the 32-bit prefix; this one starts
    # and ends its own.
    ;;
*)
    export WINEPREFIX="${SETUP_WINEPREFIX:-$build/wineprefix}" WINEARCH=win32
    ;;
esac
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
sh "$here/wine-prefix.sh" "$WINEPREFIX"
if [ -n "${SETUP_WINE_VERSION:-}" ]; then
    # Set once per program and prefix (a Wine process start saved per test);
    # the note lives in the prefix, so a fresh prefix sets it again.
    note="$WINEPREFIX/.setup-version-$(basename "$exe")"
    if [ "$(cat "$note" 2>/dev/null)" != "$SETUP_WINE_VERSION" ]; then
        wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$exe")" \
            /v Version /d "$SETUP_WINE_VERSION" /f >/dev/null 2>&1
        echo "$SETUP_WINE_VERSION" >"$note"
    fi
fi
# The desktop process Wine starts for the program's first window inherits its
# output and outlives it by a second (the server closes an unused desktop
# after one); ctest would wait for it after every test. So the program writes
# to files, relayed here until the program itself has ended.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
run() {
    : >"$out"
    : >"$err"
    status=0
    wine "$exe" "$@" >"$out" 2>"$err" &
    program=$!
    tail -s 0.05 --pid=$program -f "$out" &
    tail -s 0.05 --pid=$program -f "$err" >&2 &
    wait $program || status=$?
    wait
}
run "$@"
# Every program run here is a test program that prints as soon as it starts;
# one that failed without printing anything never reached its own code, so
# it changed nothing and may be started once more. Said here, and counted in
# $SETUP_WINE_RESTARTS for the test command's summary. Any other failure stands.
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "wine-run.sh: Wine ended $name with status $status before it printed anything;" \
        "starting it once more" >&2
    if [ -n "${SETUP_WINE_RESTARTS:-}" ]; then
        echo "$name (status $status)" >>"$SETUP_WINE_RESTARTS"
    fi
    run "$@"
    if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
        echo "wine-run.sh: Wine ended $name again with status $status before it printed anything" >&2
    fi
fi
exit $status

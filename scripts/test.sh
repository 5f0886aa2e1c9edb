#!/bin/bash
# The one test command: installs what is missing, builds the three presets and
# runs every suite (host, host under ASan/UBSan, Windows tests under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
sh scripts/bootstrap.sh

jobs=$(nproc)
for preset in host win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

status=0
echo "== host suites =="
ctest --preset host -j "$jobs" || status=1

echo "== Windows suites under Wine =="
export WINEPREFIX="$root/build/win64/wineprefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
sh cmake/wine-prefix.sh "$WINEPREFIX"
# A persistent server keeps Wine's helpers from holding ctest's pipes.
wineserver -p
wine wineboot >/dev/null 2>&1 || true
# The Windows suites drive real windows of other processes under Wine. Runs
# from a fresh clone have, rarely, seen a test fail once for no reason that
# could be reproduced (a test program Wine ended before it printed anything).
# A failed test is therefore run once more; its first output stays in the log.
retry="--repeat until-pass:2"
ctest --preset win64 $retry || status=1
wineserver -k || true

# The UI suite once more on a virtual display, where Wine draws with X and the
# suite saves screenshots of the pages. Wine's desktop process must start on
# that display for screenshots, so the whole Wine session runs inside it.
if command -v xvfb-run >/dev/null 2>&1; then
    echo "== UI suite on a virtual display (screenshots in build/win64/screenshots) =="
    rm -rf build/win64/screenshots
    wineserver -w || true
    retry="$retry" xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
        wineserver -p
        wine wineboot >/dev/null 2>&1 || true
        status=0
        ctest --preset win64 -R "^ui\." $retry || status=1
        wineserver -k || true
        exit $status' || status=1
fi

exit $status

#!/bin/sh
# Gives the tests and the demo a Wine prefix in a known state.
#
#   sh cmake/wine-prefix.sh PREFIX            PREFIX made from the template, if it is not there
#   sh cmake/wine-prefix.sh --fresh PREFIX    PREFIX replaced by a fresh copy of the template
#
# The template is made once per machine, in the cache folder
# (${XDG_CACHE_HOME:-~/.cache}/tolmar-setup/), under a name that changes with
# the Wine version, with the architecture (WINEARCH: win64, the default, or
# win32, a 32-bit Windows), with whether wine32 is installed (a 64-bit prefix
# made without it fails once it is there: "could not load kernel32.dll"), with
# the way scripts/win32-wine.sh runs 32-bit programs here, and
# with this script, which holds the prefix's settings: X11 when a display works and the null driver otherwise, unmanaged
# windows (fast under Xvfb), Chinese fonts mapped, the caption-button font,
# and COM1 on a pseudo-terminal whatever serial ports the machine has: each
# open of /dev/ptmx is a fresh terminal with the kernel's default settings.
# Making it takes about 15 s; a copy about a second. `rm -rf` that folder to
# have the template made again.
set -eu
fresh=""
if [ "${1:-}" = --fresh ]; then
    fresh=1
    shift
fi
prefix=$(realpath -m "$1") # Wine wants an absolute prefix
[ -z "$fresh" ] && [ -f "$prefix/.setup-ready" ] && exit 0

export WINEARCH=${WINEARCH:-win64} WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tolmar-setup
wine32=without-wine32
[ -e /usr/lib/wine/wine ] && wine32=with-wine32
# Under scripts/win32-wine.sh's qemu way the root's Wine makes the template,
# not the host's: a template of each.
key=$({
    cat "$0"
    wine --version 2>/dev/null
    echo "$wine32 ${SETUP_WIN32_MODE:-native}"
} | sha256sum | cut -c1-16)
template=$cache/wineprefix-$WINEARCH-$key

mkdir -p "$cache" "$(dirname "$prefix")"
# One maker of the template, and one copier of each prefix, at a time.
exec 8>"$template.lock"
flock 8
if [ ! -f "$template/.setup-ready" ]; then
    rm -rf "$template"
    WINEPREFIX=$template wine wineboot --init >/dev/null 2>&1
    reg=$(mktemp --suffix=.reg)
    # regedit wants UTF-16 for the Chinese value names.
    iconv -f UTF-8 -t UTF-16 >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="x11,null"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_LOCAL_MACHINE\Software\Wine\Ports]
"COM1"="/dev/ptmx"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"宋体"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
REG
    WINEPREFIX=$template wine regedit /S "$(WINEPREFIX=$template winepath -w "$reg" 2>/dev/null)" \
        >/dev/null 2>&1
    rm -f "$reg"
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$template/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    # The registry is on disk once the server has ended.
    WINEPREFIX=$template wineserver -w
    touch "$template/.setup-ready"
fi
exec 9>"$prefix.lock"
flock 9
[ -z "$fresh" ] && [ -f "$prefix/.setup-ready" ] && exit 0
# A server still running on the old copy would write its registry back into
# the new one.
if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
fi
rm -rf "$prefix" "$prefix.copy"
cp -a "$template" "$prefix.copy"
mv "$prefix.copy" "$prefix"

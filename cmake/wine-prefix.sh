#!/bin/sh
# Creates (once) the Wine prefix the tests and the demo run in:
# 64-bit, X11 when a display works and the null driver otherwise, unmanaged
# windows (fast under Xvfb), Chinese fonts mapped, the caption-button font,
# and COM1 on a pseudo-terminal whatever serial ports the machine has: each
# open of /dev/ptmx is a fresh terminal with the kernel's default settings.
set -eu
prefix=$(realpath -m "$1")  # Wine wants an absolute prefix
[ -f "$prefix/.setup-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.setup-ready" ] && exit 0
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine wineboot --init >/dev/null 2>&1
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
wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
rm -f "$reg"
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
fi
wineserver -w
touch "$prefix/.setup-ready"

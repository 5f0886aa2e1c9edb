#!/bin/sh
# Installs what the build and the tests need, with apt-get, and makes the two
# locales the tests run the program under. Says what it installs; quiet and
# quick when everything is already there. Run as root it needs no sudo.
set -eu
packages="cmake make g++ googletest g++-mingw-w64-i686-posix
binutils-mingw-w64 wine wine64 fonts-wine xvfb xauth xdotool imagemagick icoutils
fonts-wqy-microhei locales
wixl msitools osslsigncode openssl zip unzip wget"
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "bootstrap: needs root (or sudo) for: $*" >&2
        exit 1
    fi
}
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "bootstrap: installing with apt-get:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # One stale index must not stop us: the install below tells if it matters.
    as_root apt-get update -qq >/dev/null 2>&1 || echo "bootstrap: apt-get update reported a problem; going on"
    as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# wine32 runs the 32-bit programs we ship, on a machine that runs 32-bit
# programs at all. Where the machine cannot, wine32 would only break Wine:
# /usr/bin/wine starts its 32-bit loader first whenever that is installed.
here=$(dirname "$0")
if sh "$here/runs-32-bit.sh" 2>/dev/null; then
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
        echo "bootstrap: installing wine32:i386 (multiarch: adding the i386 architecture)"
        export DEBIAN_FRONTEND=noninteractive
        as_root dpkg --add-architecture i386
        as_root apt-get update -qq >/dev/null 2>&1 || echo "bootstrap: apt-get update reported a problem; going on"
        as_root apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
    fi
elif [ -e /usr/lib/wine/wine ]; then
    sh "$here/runs-32-bit.sh" || true
    echo "bootstrap: wine32 is installed, but this machine cannot run it, and every wine" >&2
    echo "bootstrap: command would fail; remove it: apt-get remove wine32:i386" >&2
    exit 1
fi
# The program's pages are read under a Chinese (code page 936) locale; the
# bad-input sweep also runs it under a code page 1252 one.
for locale in zh_CN en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^$locale\.utf-\?8\$"; then
        echo "bootstrap: making the locale $locale.UTF-8"
        as_root localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    fi
done

#!/bin/sh
# Installs what the build and the tests need, with apt-get; quiet and quick
# when everything is already there.
set -eu
packages="cmake make g++ googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
binutils-mingw-w64 wine wine64 fonts-wine xvfb xauth xdotool imagemagick icoutils
fonts-wqy-microhei locales
wixl msitools osslsigncode openssl zip"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "bootstrap: installing$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    # One stale index must not stop us: the install below tells if it matters.
    $sudo apt-get update -qq >/dev/null 2>&1 || echo "bootstrap: apt-get update reported a problem; going on"
    $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# The program's pages are read under a Chinese (code page 936) locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
# The bad-input sweep also runs the program under a code page 1252 locale.
if ! locale -a 2>/dev/null | grep -qi '^en_US\.utf-\?8$'; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo localedef -i en_US -f UTF-8 en_US.UTF-8
fi

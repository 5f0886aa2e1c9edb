#!/bin/sh
# A 32-bit Wine on every machine, for the tests, the demo and the benchmark:
# the programs we ship are i686 and must run as released.
#
#   sh scripts/win32-wine.sh mode          prints native or qemu
#   sh scripts/win32-wine.sh prepare       makes sure the 32-bit Wine is ready
#   sh scripts/win32-wine.sh run CMD ...   runs CMD with the 32-bit wine, wineserver,
#                                          wineboot, winepath, msiexec, regedit… on PATH
#
# native: the machine runs 32-bit programs, so Debian's wine32:i386 (installed
#   by scripts/bootstrap.sh) runs them in a WINEARCH=win32 prefix.
# qemu: the kernel has no 32-bit layer (a paravirtualised guest, say: every
#   32-bit program ends with "Exec format error"). There the 32-bit Wine is an
#   i386 Debian root, built once per machine in the cache folder, whose
#   programs run under qemu-i386 (qemu-user 10; 7.2 is unusable), registered in
#   a private binfmt_misc inside a user and mount namespace. The host's Wine,
#   dpkg and binfmt_misc stay untouched.
#
# SETUP_WIN32=native|qemu   forces a mode (qemu works on any machine)
# SETUP_WIN32_BINDS=a:b     more folders the 32-bit root must see at the same
#                           path (the project, the cache folder and /tmp always are)
# SETUP_WIN32_MIRROR=URL    the Debian archive (default: the one apt uses here)
set -eu
me=$(cd "$(dirname "$0")" && pwd -P)/$(basename "$0")
top=$(dirname "$(dirname "$me")")
cache=${XDG_CACHE_HOME:-${HOME:?}/.cache}/tolmar-setup

say() { echo "win32-wine: $*" >&2; }
die() {
    say "$*"
    exit 1
}

mode() {
    case ${SETUP_WIN32:-} in
    qemu) echo qemu ;;
    native)
        why=$(sh "${me%/*}/runs-32-bit.sh" 2>&1) ||
            die "SETUP_WIN32=native, but $why; unset SETUP_WIN32 (or set it to qemu)"
        echo native
        ;;
    "") if sh "${me%/*}/runs-32-bit.sh" 2>/dev/null; then echo native; else echo qemu; fi ;;
    *) die "SETUP_WIN32 is '$SETUP_WIN32'; it must be native or qemu (or unset)" ;;
    esac
}

# >>> the root: what it is made of and how. Its text is the cache key, so a
# change between these lines builds the root again.
suite=bookworm
packages=wine32,wine,fonts-wine,fonts-wqy-microhei,locales
locales="zh_CN.UTF-8 en_US.UTF-8"
# The series we measured; backports keeps only its newest release.
qemu_series=10.0

# The archive apt uses here (first one that is not the security archive).
host_mirror() {
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
            awk 'tolower($1) == "uris:" { for (i = 2; i <= NF; i++) print $i }'
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z+]+:\/\//) { print $i; break } }'
    } | grep -v security | head -n 1
}

# Limits, so that a missing network or a stuck program ends the build rather
# than stalls it. --foreground keeps it all in our process group, which Ctrl-C
# stops; KILL after TERM, as unshare holds TERM back.
limit() {
    seconds=$1
    shift
    timeout --foreground --kill-after=10 "$seconds" "$@"
}

# apt with its own state, for the amd64 qemu and debootstrap packages: the
# host's package lists and dpkg stay as they are.
apt_private() { # SECONDS ARGS...
    seconds=$1
    shift
    limit "$seconds" apt-get -q -o Dir::Etc::SourceList="$work/sources.list" \
        -o Dir::Etc::SourceParts=/dev/null -o Dir::Etc::Preferences=/dev/null \
        -o Dir::Etc::PreferencesParts=/dev/null -o Dir::State="$work/state" \
        -o Dir::Cache="$work/cache" -o APT::Architecture=amd64 -o APT::Architectures::=amd64 \
        -o APT::Sandbox::User=root -o Acquire::Languages=none \
        -o Acquire::http::Timeout=15 -o Acquire::https::Timeout=15 -o Acquire::Retries=1 "$@"
}

phase() {
    say "$*"
    phase_started=$(date +%s)
}
phase_done() { say "  … $(($(date +%s) - phase_started)) s"; }

build_failed() {
    say "$1"
    if [ -s "$log" ]; then
        say "last lines of $log:"
        tail -n 15 "$log" | sed 's/^/    /' >&2
    fi
    rm -rf "$dir"
    exit 1
}

build_root() {
    started=$(date +%s)
    work=$dir/build
    log=$cache/win32-root-build.log
    : >"$log"
    mirror=${SETUP_WIN32_MIRROR:-$(host_mirror)}
    mirror=${mirror%/}
    [ -n "$mirror" ] || die "no Debian archive in apt's sources here; set SETUP_WIN32_MIRROR to one"
    # debootstrap fetches with wget, which ignores apt's proxy setting.
    eval "$(apt-config shell http_proxy Acquire::http::Proxy https_proxy Acquire::https::Proxy)"
    [ -n "${http_proxy:-}" ] && export http_proxy
    [ -n "${https_proxy:-}" ] && export https_proxy
    command -v wget >/dev/null || die "debootstrap needs wget to build the 32-bit root: apt-get install wget"
    say "building the 32-bit Wine root once for this machine (about 8 min), in $dir"
    mkdir -p "$work/state/lists/partial" "$work/cache/archives/partial" "$dir/idmap"

    # unshare maps ids with newuidmap, and Debian's wants /etc/subuid; as
    # root we write the maps ourselves.
    for map in uid gid; do
        cat >"$dir/idmap/new${map}map" <<EOF
#!/bin/sh
printf '%s %s %s\n' "\$2" "\$3" "\$4" 2>/dev/null >/proc/\$1/${map}_map ||
    { echo "writing /proc/\$1/${map}_map was refused (not root, or in a user namespace already)" >&2; exit 1; }
EOF
        chmod +x "$dir/idmap/new${map}map"
    done
    # Refused namespaces are found now, not after 200 MB of downloads.
    why=$(in_namespace probe 2>&1) || build_failed "cannot run i386 programs in a private namespace here: $why
  This needs root, user namespaces (sysctl user.max_user_namespaces > 0) and
  Linux 6.7 or newer (a binfmt_misc of its own in a user namespace)."

    need=1536
    free=$(df -Pk "$cache" | awk 'NR == 2 { print int($4 / 1024) }')
    [ "$free" -ge "$need" ] || build_failed "only $free MB free in $cache; the 32-bit root needs about $need MB while it is built: free some space (or set XDG_CACHE_HOME to a bigger disk)"

    phase "looking up qemu-user $qemu_series and debootstrap in $suite-backports at $mirror…"
    printf 'deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] %s %s-backports main\n' \
        "$mirror" "$suite" >"$work/sources.list"
    apt_private 45 update >>"$log" 2>&1 && ! grep -q '^[EW]: Failed to fetch' "$log" ||
        build_failed "no answer from the Debian archive $mirror (no network, a proxy needed, or a wrong SETUP_WIN32_MIRROR?); check the network and run this again"
    phase "downloading qemu-user (about 63 MB) and debootstrap…"
    (cd "$work" && apt_private 900 download "qemu-user/$suite-backports" "debootstrap/$suite-backports") >>"$log" 2>&1 ||
        build_failed "could not download qemu-user and debootstrap from $mirror"
    qemu_version=$(dpkg-deb -f "$work"/qemu-user_*.deb Version)
    case $qemu_version in
    *:"$qemu_series".*) ;;
    *) build_failed "$suite-backports now has qemu-user $qemu_version, not $qemu_series.x: check that Wine runs under it, then set qemu_series in $me" ;;
    esac
    dpkg-deb --fsys-tarfile "$work"/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$dir/qemu-i386"
    chmod 755 "$dir/qemu-i386"
    dpkg-deb -x "$work"/debootstrap_*.deb "$work/debootstrap"
    phase_done

    phase "first stage: downloading and unpacking about 160 MB of i386 packages (1–2 min)…"
    printf 'timeout = 20\ntries = 3\n' >"$work/wgetrc"
    WGETRC=$work/wgetrc DEBOOTSTRAP_DIR=$work/debootstrap/usr/share/debootstrap limit 1800 \
        "$work/debootstrap/usr/sbin/debootstrap" --arch=i386 --foreign --variant=minbase \
        --include="$packages" --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
        "$suite" "$dir/root" "$mirror" >>"$log" 2>&1 ||
        build_failed "the first stage failed (the network, or $mirror lacks $suite i386?)"
    say "  … $(du -sm "$dir/root/var/cache/apt/archives" | cut -f1) MB of packages"
    phase_done

    phase "second stage: installing the packages and making the locales under qemu (5–7 min)…"
    in_namespace limit 1800 second-stage </dev/null >>"$log" 2>&1 ||
        build_failed "the second stage failed under qemu"
    phase_done

    # What only the build needed: apt's copies of the packages (160 MB).
    rm -rf "$work" "$dir/root/var/cache/apt/archives"/*.deb
    size=$(du -sm "$dir" | cut -f1)
    printf 'qemu-user %s\nsuite %s\npackages %s\nbuilt %s in %s s\nsize %s MB\n' "$qemu_version" \
        "$suite" "$packages" "$(date -u +%FT%TZ)" "$(($(date +%s) - started))" "$size" >"$dir/ready"
    say "the 32-bit Wine root is ready: $(($(date +%s) - started)) s, $size MB"
}

# A new user namespace (ids 0..65535 map to themselves, so that the root's
# files keep their owners) and mount namespace (our mounts vanish with it).
# No PID namespace: a Wine server outlives CMD by its usual few seconds, or
# until `wineserver -k`, and any session reaches it through its socket in
# /tmp, as on a machine that runs wine32 itself. unshare maps the ids with the
# newuidmap it finds first on PATH: ours (see build_root).
namespace="unshare --user --map-users=0,0,65536 --map-groups=0,0,65536 --mount"
in_namespace() { # [limit SECONDS] ACTION ARGS...
    how=""
    [ "$1" = limit ] && how="limit $2" && shift 2
    $how env PATH="$dir/idmap:$PATH" SETUP_WIN32_HOST_PATH="$PATH" $namespace \
        sh "$me" __inside "$dir" "$@"
}

# In the namespace: qemu-i386 runs i386 programs (F: it is opened now, so it
# works inside the root), and the root sees /proc and /sys.
second_stage() {
    root=$dir/root
    mount --rbind /proc "$root/proc"
    mount --rbind /sys "$root/sys"
    # container=lxc: debootstrap then makes no device nodes, which a user
    # namespace may not.
    chroot "$root" /usr/bin/env container=lxc /debootstrap/debootstrap --second-stage
    # The tests run Wine under these locales; without them it falls back to C.
    for locale in $locales; do echo "$locale ${locale#*.}"; done >"$root/etc/locale.gen"
    chroot "$root" /usr/sbin/locale-gen
}
# <<< end of the root

# >>> the wrappers: a change here makes them again, not the root.
# A wrapper for each of the root's Wine commands, which runs it in the root
# (see run_inside: only there can the kernel run it).
make_wrappers() {
    new=$(mktemp -d "$wrappers.XXXXXX")
    # Debian's wine package lists them as NAME-stable, with NAME an alternative.
    for path in $(grep '^/usr/bin/.*-stable$' "$dir/root/var/lib/dpkg/info/wine.list"); do
        name=${path##*/}
        name=${name%-stable}
        sed "s|@ROOT@|$dir/root|; s|@NAME@|$name|" >"$new/$name" <<'WRAPPER'
#!/usr/bin/perl
# @NAME@ of the 32-bit Wine in the i386 root of scripts/win32-wine.sh: it runs
# only inside that script's `run`, where qemu is registered for i386 programs.
# Keeps the environment and the current folder, which must be the same folder
# on both sides (as must WINEPREFIX): else Wine would quietly use the root's own.
my $root = '@ROOT@';
sub id { my @s = stat $_[0]; @s ? "$s[0]:$s[1]" : '' }
-e "$root/proc/self" or die "@NAME@: the 32-bit Wine runs only under `sh scripts/win32-wine.sh run`\n";
my $cwd = readlink '/proc/self/cwd';
my @check = ([$cwd, "the current folder ($cwd)"]);
if (($ENV{WINEPREFIX} // '') =~ m{^/}) {
    my $p = $ENV{WINEPREFIX};
    $p =~ s{/[^/]*$}{} until $p eq '' || -e $p; # the prefix may be made now
    push @check, [$p eq '' ? '/' : $p, "WINEPREFIX ($ENV{WINEPREFIX})"];
}
$_->[2] = id($_->[0]) for @check;
chroot $root or die "@NAME@: chroot $root: $!\n";
for (@check) {
    id($_->[0]) eq $_->[2] or die "@NAME@: $_->[1] is not visible in the 32-bit root;"
        . " add it to SETUP_WIN32_BINDS\n";
}
chdir $cwd;
$ENV{PATH} = '/usr/local/bin:/usr/bin:/bin';
exec { '/usr/bin/@NAME@' } '/usr/bin/@NAME@', @ARGV;
die "@NAME@: $!\n";
WRAPPER
        chmod 755 "$new/$name"
    done
    chmod 755 "$new"
    # Another run may have made them meanwhile: theirs are the same.
    mv -T "$new" "$wrappers" 2>/dev/null || rm -rf "$new"
    for old in "$dir"/bin-*; do
        case $old in "$wrappers" | "$wrappers".*) ;; *) rm -rf "$old" ;; esac
    done
}
# <<< end of the wrappers

key=$(sed -n '/^# >>> the root/,/^# <<< end of the root/p' "$me" | sha256sum | cut -c1-16)
dir=$cache/win32-root-$key
wrappers=$dir/bin-$(sed -n '/^# >>> the wrappers/,/^# <<< end of the wrappers/p' "$me" | sha256sum | cut -c1-8)

prepare() {
    how=$(mode)
    if [ "$how" = native ]; then
        [ -e /usr/lib/wine/wine ] || die "wine32 is not installed; run: sh scripts/bootstrap.sh"
        return 0
    fi
    # Only root may map 65536 ids into a user namespace (see in_namespace).
    [ "$(id -u)" -eq 0 ] || die "the 32-bit Wine under qemu needs root (it maps 65536 user ids)"
    if [ -f "$dir/ready" ]; then
        [ -d "$wrappers" ] || make_wrappers
        return 0
    fi
    mkdir -p "$cache"
    # One builder at a time; a session in progress holds a shared lock.
    exec 7>>"$dir.lock"
    if ! flock -n 7; then
        say "another run is building the 32-bit root; waiting for it…"
        flock -w 1800 7 || die "gave up waiting for $dir.lock after 30 min"
    fi
    if [ -f "$dir/ready" ]; then
        [ -d "$wrappers" ] || make_wrappers
        return 0
    fi
    if [ -e "$dir" ]; then
        say "$dir was half made by an interrupted run; removing it"
        rm -rf "$dir" || die "could not remove $dir; remove it by hand: rm -rf '$dir'"
    fi
    # Roots made of something else are of no more use (a session still in
    # one keeps it).
    for old in "$cache"/win32-root-*.lock; do
        [ "$old" = "$dir.lock" ] || [ ! -e "$old" ] && continue
        flock -n "$old" rm -rf "${old%.lock}" && rm -f "$old" &&
            say "removed the old root ${old%.lock}" || true
    done
    build_root
    make_wrappers
}

inside() {
    PATH=$SETUP_WIN32_HOST_PATH
    unset SETUP_WIN32_HOST_PATH
    action=$1
    shift
    # A binfmt_misc instance of this namespace's own: the host's is untouched.
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
        die "no binfmt_misc of our own in a user namespace (it needs Linux 6.7 or newer)"
    [ "$action" = probe ] && return 0
    printf '%s\n' ':tolmar-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$dir/qemu-i386"':PF' \
        >/proc/sys/fs/binfmt_misc/register || die "could not register $dir/qemu-i386 for i386 programs"
    case $action in
    second-stage) second_stage ;;
    run) run_inside "$@" ;;
    esac
}

run_inside() {
    root=$dir/root
    mount --rbind /proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    # Paths both sides name: the project, the cache (prefix templates), /tmp
    # (mktemp files, X's sockets, Wine's server sockets) and the caller's own.
    old_ifs=$IFS
    IFS=:
    for path in /tmp "$cache" "$top" ${SETUP_WIN32_BINDS:-}; do
        [ -n "$path" ] || continue
        [ -e "$path" ] || die "SETUP_WIN32_BINDS names $path, which does not exist"
        path=$(cd "$path" && pwd -P)
        mkdir -p "$root$path"
        mount --rbind "$path" "$root$path"
    done
    IFS=$old_ifs
    export PATH="$wrappers:$PATH"
    exec "$@"
}

case ${1:-} in
mode) mode ;;
prepare) prepare ;;
run)
    shift
    [ $# -gt 0 ] || die "usage: sh scripts/win32-wine.sh run CMD [ARGS...]"
    prepare
    export SETUP_WIN32_MODE
    SETUP_WIN32_MODE=$(mode)
    # A new prefix is a 32-bit Windows unless the caller says otherwise.
    export WINEARCH="${WINEARCH:-win32}"
    [ "$SETUP_WIN32_MODE" = native ] && exec "$@"
    # Already in a session (the root sees /proc only there): nothing to set up.
    if [ -e "$dir/root/proc/self" ]; then
        PATH="$wrappers:$PATH" exec "$@"
    fi
    # The root is in use while anything started here runs (see prepare).
    exec 7>>"$dir.lock"
    flock -s 7
    # unshare, then the namespace's set-up, then CMD: one process throughout.
    exec env PATH="$dir/idmap:$PATH" SETUP_WIN32_HOST_PATH="$PATH" $namespace \
        sh "$me" __inside "$dir" run "$@"
    ;;
__inside)
    dir=$2
    shift 2
    inside "$@"
    ;;
*)
    die "usage: sh scripts/win32-wine.sh mode|prepare|run CMD [ARGS...]"
    ;;
esac

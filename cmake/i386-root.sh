#!/bin/sh
# The private Debian 12 i386 root whose Wine runs the 32-bit Windows programs
# where the kernel starts i386 programs. The machine's own apt, packages and
# architectures are left as they are.
#
#   i386-root.sh make [WHY]   makes it, once for the machine (about 0.9 GB), or
#                             goes on with one whose packages did not all
#                             install; where it cannot, a WARNING with the
#                             reason, and that reason in one line to the file WHY
#   i386-root.sh ready        succeeds where it is made
#   i386-root.sh run PROGRAM [ARGUMENTS...]
#                             PROGRAM in a mount namespace of its own in which
#                             the root's /usr (its 32-bit libraries and Wine)
#                             lies over the machine's: everything else is the
#                             machine's, so Wine's Z: is the machine's / with
#                             all its mounts, and every path is what it is
#                             outside
#
# VELTRANE_I386_ROOT puts it elsewhere than /var/cache/veltrane/i386-root.
# Interrupted at any stage (INT or TERM), making leaves either no root or one
# whose base system is whole, which the next make goes on from: debootstrap
# makes the base system in a folder beside it, removed if it is cut short,
# which takes the root's name only once whole.
set -eu

root=${VELTRANE_I386_ROOT:-/var/cache/veltrane/i386-root}
parent=$(dirname "$root")
# What the root holds; a change makes the next command install it.
packages="wine wine32 fonts-liberation"
stamp=$root/.veltrane-packages
new=$root.new
log=$root.log

ready() { [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$packages" ]; }

# A command in mount and process namespaces of its own: its mounts and every
# process it starts end with it, and it ends with this script.
contained() { setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child "$@"; }

# The mirror the system's apt sources name for Debian 12 itself, in either
# layout (one-line entries or deb822 files): apt reads them for us.
debian_mirror() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(TARGET_OF)' 2>/dev/null |
        awk '$3 == "deb" && ($2 == "bookworm" || $2 == "stable") { print $1; exit }'
}

# Gives up, saying why in one line (to WHY too) and with the log's last lines.
# The free space is measured before anything is cleaned up.
give_up() {  # what failed
    free=$(df -h --output=avail "$parent" 2>/dev/null | tail -n 1 | tr -d ' ')
    if grep -qs 'No space left on device' "$log" "$new/debootstrap/debootstrap.log"; then
        reason="$1: the disk is full (no space left on device; $free free in $parent)"
    else
        detail=$(grep -hsE '^E:|Failure|[Ee]rror' "$log" | tail -n 1)
        [ ${#detail} -le 100 ] || detail="$(printf '%s' "$detail" | cut -c1-100)..."
        reason="$1${detail:+ ($detail)}"
    fi
    [ -z "$why_file" ] || echo "the i386 root could not be made: $reason" >"$why_file"
    {
        echo "WARNING: the i386 root $root could not be made: $reason."
        echo "The 32-bit programs cannot run here; the x86-64 build stands in for them. The log's last lines:"
        { cat "$log"; tail -n 3 "$new/debootstrap/debootstrap.log" 2>/dev/null; } | tail -n 12 | sed 's/^/    /'
    } >&2
    discard
    rm -f "$log"
    exit 1
}

# Removes a base system that was not made whole, once its making has ended.
discard() {
    [ -z "${making:-}" ] || { kill -KILL "$making" 2>/dev/null || true; wait "$making" 2>/dev/null || true; }
    # A process being ended can still write for a moment.
    rm -rf --one-file-system "$new" 2>/dev/null || { sleep 1; rm -rf --one-file-system "$new"; }
}

make_root() {  # [why]
    why_file=${1:-}
    ready && return 0
    mkdir -p "$parent"
    # Two commands at once (two clones): one makes it, the other waits.
    exec 9>"$root.lock"
    if ! flock -n 9; then
        echo "Waiting for another command to finish making the i386 root $root (it holds $root.lock)"
        flock 9
    fi
    ready && return 0
    echo "Making the i386 root $root for the 32-bit programs' Wine (once for this machine; about 0.9 GB)"
    : >"$log"
    command -v debootstrap >/dev/null || give_up "debootstrap is not installed"
    # Each use enters it from a private mount namespace; inside a chroot whose
    # / is not a mount point, none can be made.
    unshare --mount true 2>>"$log" ||
        give_up "no private mount namespace can be made here (a chroot whose / is not a mount point?)"
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || give_up "no Debian 12 mirror in the apt sources"
    if [ ! -d "$root" ]; then
        # What a making ended by KILL left; INT and TERM remove it themselves.
        discard
        trap 'discard; rm -f "$log"; exit 130' INT
        trap 'discard; rm -f "$log"; exit 143' TERM
        contained debootstrap --arch=i386 --variant=minbase bookworm "$new" "$mirror" >"$log" 2>&1 &
        making=$!
        wait "$making" 2>/dev/null || { making=; give_up "debootstrap failed"; }
        making=
        mv "$new" "$root"
        trap - INT TERM
    fi
    # From here on an interruption leaves a whole base system; apt goes on
    # from whatever it had fetched and unpacked.
    # shellcheck disable=SC2016
    contained sh -c '
        set -e
        mount --rbind /dev "$0/dev"
        mount -t proc proc "$0/proc"
        chroot "$0" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
            sh -c "dpkg --configure -a && apt-get -q update --error-on=any && apt-get -q install -y -f --no-install-recommends $*"
    ' "$root" $packages >"$log" 2>&1 ||
        give_up "installing $packages in it failed; its base system is kept for the next command to go on from"
    chroot "$root" apt-get clean >/dev/null 2>&1 || true
    rm -f "$log"
    echo "$packages" >"$stamp.new" && mv "$stamp.new" "$stamp"
    echo "Made the i386 root $root ($(du -sh --one-file-system "$root" | cut -f1))"
}

# The root's /usr over the machine's, and its library cache, whose 32-bit
# entries are the root's own libraries (the machine's may list other 32-bit
# builds of them, which the root's loader cannot use).
run() {  # program arguments...
    ready || { echo "The i386 root $root is not made (i386-root.sh make)" >&2; exit 1; }
    exec unshare --mount sh -c '
        mount -t overlay veltrane-i386 -o "lowerdir=$0/usr:/usr" /usr &&
            mount --bind "$0/etc/ld.so.cache" /etc/ld.so.cache &&
            exec env -u WINELOADER WINEARCH=win32 WINESERVER=/usr/lib/wine/wineserver32 "$@"
    ' "$root" "$@"
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
    make) make_root "$@" ;;
    ready) ready ;;
    run) run "$@" ;;
    *) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

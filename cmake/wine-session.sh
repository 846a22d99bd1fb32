#!/bin/sh
# Windows programs under Wine, for the tests (as ctest fixtures and emulator),
# run, the benchmarks and the screenshot.
#
#   wine-session.sh start STATE PREFIX BITS  a private Xvfb, and a running Wine
#                              server for the prefix PREFIX (made if new), for
#                              the programs of BITS (i686 or x86_64)
#   wine-session.sh run STATE PROGRAM [ARGUMENTS...]
#                              the program on that display and prefix
#   wine-session.sh stop STATE ends the session that start started: its
#                              display and every Wine process of its prefix
#   wine-session.sh display STATE
#                              prints that display (":N")
#   wine-session.sh wine BITS PROGRAM [ARGUMENTS...]
#                              the program with this environment's DISPLAY
#                              (and XAUTHORITY) and WINEPREFIX
#   wine-session.sh which BITS prints the Wine that runs programs of BITS here
#                              ("the i386 root", "the host", or nothing)
#   wine-session.sh make-i386-root [WHY]
#                              makes the i386 root where the kernel runs 32-bit
#                              programs; a WARNING with the reason where it fails,
#                              and that reason in one line to the file WHY
#
# The 64-bit programs run under the host's 64-bit Wine. The 32-bit ones run
# only where the kernel starts i386 programs, under the Wine of a private
# Debian 12 i386 root (VELTRANE_I386_ROOT, by default /var/cache/veltrane/i386-root,
# shared by every clone): each call enters it through chroot in a mount
# namespace of its own, so its mounts vanish with it. A 32-bit Wine refuses a
# prefix that a 64-bit one made: the 32-bit programs get prefixes of their own.
#
# A session belongs to the process that started it (VELTRANE_SESSION_OWNER, or
# the caller's parent: ctest, for the fixtures and the tests), so runs at once
# never share or stop each other's display. It owns its prefix through a lock
# for as long as it lasts, and ends with its owner or with stop, however the
# run ends: its display, and every Wine process of its prefix (the server,
# programs, Wine's services), never another prefix's; the prefix's temporary
# folder is emptied. A server that dies while the session lasts leaves its
# programs waiting for good: they are ended within seconds, so a test fails at
# once. Everything started goes with its output away from the caller's: ctest
# reads its tests through pipes, and waits for as long as anything holds them
# open.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
clone=$(dirname "$here")
i386_root=${VELTRANE_I386_ROOT:-/var/cache/veltrane/i386-root}
# What the root holds; a change re-makes it.
i386_packages="wine wine32 fonts-liberation"
i386_stamp=$i386_root/.veltrane-packages
i386_base=$i386_root/.veltrane-base
persistence=5

quietly() { "$@" </dev/null >/dev/null 2>&1; }
fail() { echo "$*" >&2; exit 1; }

root_ready() { [ -f "$i386_stamp" ] && [ "$(cat "$i386_stamp")" = "$i386_packages" ]; }

kernel_runs_i386() {
    status=0
    "$here/kernel-runs-i386.sh" "$clone/build" || status=$?
    [ $status -le 1 ] || exit 1
    return $status
}

# which BITS: host64, root, or nothing (the programs cannot run here).
which_wine() {
    case "$1" in
        x86_64) echo host64 ;;
        i686) if kernel_runs_i386 && root_ready; then echo root; fi ;;
        *) fail "BITS is i686 or x86_64, not \"$1\"" ;;
    esac
}

# ---- the i386 root ----------------------------------------------------------

# The mirror the system's apt sources name for Debian 12 itself, in either
# layout (one-line entries or deb822 files): apt reads them for us.
debian_mirror() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(TARGET_OF)' 2>/dev/null |
        awk '$3 == "deb" && ($2 == "bookworm" || $2 == "stable") { print $1; exit }'
}

# Says why the root could not be made, with the log's last lines, and in one
# line to the file WHY where make-i386-root was given one.
root_warning() {  # reason
    detail=$(grep -E '^E:|Failure|[Ee]rror' "$log" | tail -n 1)
    [ -n "$detail" ] || detail=$(grep . "$log" | tail -n 1)
    [ -z "$why_file" ] || echo "the i386 root could not be made: $1${detail:+ ($detail)}" >"$why_file"
    {
        echo "WARNING: the i386 root $i386_root could not be made ($1), so the 32-bit programs"
        echo "cannot run here; the x86-64 build stands in for them. Its last lines:"
        tail -n 12 "$log" | sed 's/^/    /'
        echo "    ($(df -h --output=avail "$(dirname "$i386_root")" | tail -n 1 | tr -d ' ') free in $(dirname "$i386_root"))"
    } >&2
    rm -f "$log"
    exit 1
}

# Run inside the root, in the caller's mount namespace (a private one).
mount_root_basics() {
    mount --rbind /dev "$i386_root/dev"
    mount -t proc proc "$i386_root/proc"
}

# A root without its whole base system is of no use to a later run.
discard_unmade_root() {
    [ -f "$i386_base" ] || rm -rf --one-file-system "$i386_root"
}

make_i386_root() {  # [why]
    why_file=${1:-}
    kernel_runs_i386 || fail "this kernel does not start 32-bit programs: no i386 root is made"
    root_ready && return 0
    mkdir -p "$(dirname "$i386_root")"
    # Two commands at once (two clones): one makes it, the other waits for it.
    exec 9>"$i386_root.lock"
    flock 9
    root_ready && return 0
    log=$i386_root.log
    : >"$log"
    echo "Making the i386 root $i386_root for the 32-bit programs' Wine (once for this machine; about 0.9 GB)"
    command -v debootstrap >/dev/null || { echo "debootstrap is not installed" >"$log"; root_warning "no debootstrap"; }
    # Each use enters the root from a private mount namespace; inside a chroot
    # whose / is not a mount point, unshare cannot make one.
    if ! unshare -m true >"$log" 2>&1; then
        root_warning "no private mount namespace can be made here (inside a chroot?)"
    fi
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { echo "no bookworm entry in /etc/apt/sources.list or sources.list.d" >"$log"; root_warning "no Debian mirror in the apt sources"; }
    # A root in use is left alone, whatever state it is in.
    if findmnt -rn -o TARGET | grep -qF "$i386_root/"; then
        echo "something is mounted inside $i386_root" >"$log"
        root_warning "it is in use"
    fi
    # A root is never taken as done without its stamp. One whose base system
    # debootstrap made whole is resumed at its packages (apt fetches only what
    # it has not yet); anything less is removed, here and when this command is
    # interrupted, and made again from nothing.
    trap 'discard_unmade_root; exit 130' INT
    trap 'discard_unmade_root; exit 143' TERM
    if [ ! -f "$i386_base" ]; then
        rm -rf --one-file-system "$i386_root"
        # In a mount namespace of its own, so the mounts it makes in the root go with it.
        if ! unshare -m debootstrap --arch=i386 --variant=minbase bookworm "$i386_root" "$mirror" >"$log" 2>&1; then
            tail -n 3 "$i386_root/debootstrap/debootstrap.log" >>"$log" 2>/dev/null || true
            discard_unmade_root
            root_warning "debootstrap failed"
        fi
        touch "$i386_base"
    fi
    # shellcheck disable=SC2016
    unshare -m sh -c '
        set -e
        mount --rbind /dev "$1/dev"
        mount -t proc proc "$1/proc"
        shift
        chroot "$0" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
            sh -c "dpkg --configure -a && apt-get -q update --error-on=any && apt-get -q install -y --no-install-recommends $*"
    ' "$i386_root" "$i386_root" $i386_packages >"$log" 2>&1 ||
        root_warning "installing $i386_packages in it failed; its base system is kept for the next command to go on from"
    chroot "$i386_root" apt-get clean >/dev/null 2>&1 || true
    rm -f "$log"
    echo "$i386_packages" > "$i386_stamp"
    echo "Made the i386 root $i386_root ($(du -sh --one-file-system "$i386_root" | cut -f1))"
}

# in-root PROGRAM...: PROGRAM (a path inside the root) with the environment
# given, entered through chroot from a private mount namespace (unshare -m).
# The clone, its build folder, the prefix, the current folder, /tmp (Wine's
# server sockets) and the X authority file are seen at the same paths.
in_root() {
    mount_root_basics
    for place in /tmp "$clone" "$(realpath "$clone/build" 2>/dev/null || echo "$clone")" \
            "${WINEPREFIX:-/tmp}" "$PWD"; do
        place=$(realpath -m "$place")
        mkdir -p "$place" "$i386_root$place"
        mount --bind "$place" "$i386_root$place"
    done
    if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
        mkdir -p "$i386_root$(dirname "$XAUTHORITY")"
        touch "$i386_root$XAUTHORITY"
        mount --bind "$XAUTHORITY" "$i386_root$XAUTHORITY"
    fi
    exec chroot "$i386_root" /usr/bin/env -u WINELOADER -u WINESERVER -C "$PWD" PATH=/usr/bin:/bin "$@"
}

# ---- launching --------------------------------------------------------------

# wine_command KIND PROGRAM...: PROGRAM (a Wine program: wine or wineserver)
# with its arguments, as KIND has it.
wine_command() {
    kind=$1 program=$2
    shift 2
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # Wine names files in the locale's character set: under C or POSIX (a bare
    # Debian root, a job without LANG) it could name no file outside ASCII.
    [ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LC_ALL=C.UTF-8
    if [ -z "${XAUTHORITY:-}" ] && [ -n "${HOME:-}" ] && [ -f "$HOME/.Xauthority" ]; then
        export XAUTHORITY="$HOME/.Xauthority"
    fi
    case "$kind:$program" in
        host64:wine) exec env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@" ;;
        host64:wineserver) exec /usr/lib/wine/wineserver64 "$@" ;;
        root:wine) exec unshare -m sh "$0" in-root /usr/lib/wine/wine "$@" ;;
        root:wineserver) exec unshare -m sh "$0" in-root /usr/lib/wine/wineserver32 "$@" ;;
        *) fail "No Wine here runs these programs (${kind:-32-bit}); see \"Which Windows build runs where\" in README.md" ;;
    esac
}

# A server that ends five seconds after its last program, started apart from
# any pipe; a new one gets Wine's services the same way, so that no program
# of a test starts them with ctest's pipes.
ensure_server() {  # kind
    status=0
    (wine_command "$1" wineserver -p$persistence) </dev/null >/dev/null 2>&1 || status=$?
    if [ $status -eq 0 ]; then
        (wine_command "$1" wine cmd /c exit) </dev/null >/dev/null 2>&1 || true
    fi
}

launch() {  # kind program arguments...
    kind=$1
    shift
    ensure_server "$kind"
    wine_command "$kind" wine "$@"
}

# ---- sessions ---------------------------------------------------------------

# The owner's process id and start time: a process id alone may be reused.
owner_of() {
    pid=${VELTRANE_SESSION_OWNER:-$PPID}
    echo "$pid-$(sed 's/.*) //' "/proc/$pid/stat" | cut -d' ' -f20)"
}

owner_alive() {  # owner
    [ "$(sed 's/.*) //' "/proc/${1%-*}/stat" 2>/dev/null | cut -d' ' -f20)" = "${1#*-}" ]
}

# The Wine processes of a prefix, whatever their parent (Wine's services have
# none): each was started with the prefix as WINEPREFIX. Only Wine's own
# programs: never a shell or command that merely has the prefix set.
wine_processes() {  # prefix
    for environ in $(grep -lsxzF "WINEPREFIX=$1" /proc/[0-9]*/environ); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        case "$(readlink "/proc/$pid/exe")" in
            */wine*) echo "$pid" ;;
        esac
    done
}

# Succeeds where programs of the prefix run with no server of it.
serverless() {  # prefix
    processes=$(wine_processes "$1")
    [ -n "$processes" ] || return 1
    for pid in $processes; do
        case "$(cat "/proc/$pid/comm" 2>/dev/null)" in
            wineserver*) return 1 ;;
        esac
    done
}

# Ends every Wine process of the prefix: its server first, which ends its
# programs and saves the registry, then whatever is left; then empties the
# prefix's temporary folder, where the Windows tests' scratch folders are.
end_prefix() {  # prefix kind
    if [ -n "$(wine_processes "$1")" ]; then
        quietly timeout 10 env WINEPREFIX="$1" sh "$0" in-kind "$2" wineserver -k || true
        for pid in $(wine_processes "$1"); do
            kill -KILL "$pid" 2>/dev/null || true
        done
    fi
    for temp in "$1"/drive_c/users/*/Temp; do
        if [ -d "$temp" ]; then
            find "$temp" -mindepth 1 -maxdepth 1 -exec rm -rf --one-file-system {} +
        fi
    done
}

# watch SESSION OWNER: Xvfb as a child that the kernel ends (with SIGTERM)
# when this watcher ends: once the owner has gone, or stop has removed the
# session's "alive" file; then it ends the prefix's processes and says so in
# the session's "ended" file. The display number goes to file descriptor 3.
# It runs in a session of its own: a signal to the owner's process group
# (Ctrl-C, a timeout) leaves it to clean up after the owner.
watch() {
    setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp &
    exec 3>&-
    session=$1 prefix=$(cat "$1/prefix") kind=$(cat "$1/kind")
    trap 'end_prefix "$prefix" "$kind"; touch "$session/ended"; exit 0' INT TERM HUP
    unserved=0
    while owner_alive "$2" && [ -f "$session/alive" ]; do
        sleep 0.5
        if serverless "$prefix"; then
            unserved=$((unserved + 1))
        else
            unserved=0
        fi
        # Three seconds: longer than a new program takes to start its server.
        if [ $unserved -ge 6 ]; then
            echo "$(date +%T) the Wine server of $prefix went away; ending its programs" >>"$session/events"
            end_prefix "$prefix" "$kind"
            unserved=0
        fi
    done
    end_prefix "$prefix" "$kind"
    touch "$session/ended"
}

start() {  # state prefix bits
    [ $# -eq 3 ] || fail "start STATE PREFIX BITS"
    kind=$(which_wine "$3")
    [ -n "$kind" ] || wine_command "" wine
    owner=$(owner_of)
    mkdir -p "$1"
    # Sessions whose owners have gone leave only files behind.
    for old in "$1"/owner-*; do
        [ -d "$old" ] && ! owner_alive "${old##*/owner-}" && rm -rf "$old"
    done
    session=$1/owner-$owner
    rm -rf "$session"
    mkdir -p "$session" "$2"
    prefix=$(realpath "$2")
    echo "$prefix" > "$session/prefix"
    echo "$kind" > "$session/kind"
    touch "$session/alive"
    # One session at a time uses a prefix: two runs' programs on one Wine
    # server take each other's focus and files. The watcher holds the lock
    # for as long as the session lasts, and lets go only once it has ended
    # the prefix's processes; the next run waits for it.
    exec 9>"$prefix.lock"
    if ! flock -n 9; then
        echo "Waiting for the other run that uses the Wine prefix $prefix"
        flock 9
    fi
    # Whatever an earlier session left, if its watcher was killed.
    end_prefix "$prefix" "$kind"
    setsid sh "$0" watch "$session" "$owner" 3>"$session/display" </dev/null >/dev/null 2>&1 &
    exec 9>&-
    waited=0
    until grep -q '^[0-9][0-9]*$' "$session/display"; do
        [ $waited -lt 150 ] || fail "Xvfb did not start"
        sleep 0.1
        waited=$((waited + 1))
    done
    export WINEPREFIX="$prefix" DISPLAY=":$(cat "$session/display")"
    if [ ! -f "$prefix/.veltrane-made" ]; then
        echo "Making the Wine prefix $prefix"
        quietly sh "$0" in-session "$kind" cmd /c exit
        # Without a window manager, hiding a managed window waits two seconds.
        quietly sh "$0" in-session "$kind" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        # Made only once its server has saved the registry, as it does when it
        # ends: a prefix whose server was killed before is made again.
        quietly sh "$0" in-kind "$kind" wineserver -w
        touch "$prefix/.veltrane-made"
    fi
    # Into a file, not a pipe: a Wine server it starts would hold a pipe open.
    if ! sh "$0" in-session "$kind" cmd /c exit </dev/null >"$session/first-program.log" 2>&1; then
        fail "Wine ($kind) started no program in the prefix $prefix (a prefix the other Wine made is of no use to it): $(tail -n 5 "$session/first-program.log")"
    fi
}

session_of() {  # state
    session=$1/owner-$(owner_of)
    [ -f "$session/alive" ] || fail "No Wine session of this run in $1: start it first (wine-session.sh start)"
    echo "$session"
}

# Returns once the watcher has ended the session's processes, or, where the
# watcher was killed (it let go of the prefix without saying it ended), once
# this has ended them itself.
stop() {  # state
    session=$1/owner-$(owner_of)
    [ -f "$session/alive" ] || return 0
    rm -f "$session/alive"
    prefix=$(cat "$session/prefix")
    exec 9>"$prefix.lock"
    waited=0
    until [ -f "$session/ended" ] || [ $waited -ge 300 ]; do
        if flock -n 9; then
            [ -f "$session/ended" ] || end_prefix "$prefix" "$(cat "$session/kind")"
            return 0
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
    start) start "$@" ;;
    stop) stop "$@" ;;
    run)
        session=$(session_of "$1")
        shift
        export DISPLAY=":$(cat "$session/display")" WINEPREFIX="$(cat "$session/prefix")"
        launch "$(cat "$session/kind")" "$@"
        ;;
    wine)
        kind=$(which_wine "$1")
        shift
        launch "$kind" "$@"
        ;;
    which)
        case "$(which_wine "$1")" in
            host64) echo "the host" ;;
            root) echo "the i386 root" ;;
        esac
        ;;
    display) echo ":$(cat "$(session_of "$1")/display")" ;;
    make-i386-root) make_i386_root "$@" ;;
    in-session) launch "$@" ;;
    in-kind) wine_command "$@" ;;
    in-root) in_root "$@" ;;
    watch) watch "$@" ;;
    *) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

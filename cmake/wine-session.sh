#!/bin/sh
# Windows programs under Wine, for the tests (as ctest fixtures and emulator),
# run, the benchmarks and the screenshot.
#
#   wine-session.sh start STATE PREFIX BITS  a private Xvfb, and a running Wine
#                              server for the prefix PREFIX (made if new), for
#                              the programs of BITS (i686 or x86_64)
#   wine-session.sh run STATE PROGRAM [ARGUMENTS...]
#                              the program on that display and prefix
#   wine-session.sh stop STATE ends the session that start started, and
#                              returns once every process of it has gone
#   wine-session.sh display STATE
#                              prints that display (":N")
#   wine-session.sh wine BITS PROGRAM [ARGUMENTS...]
#                              the program with this environment's DISPLAY
#                              (and XAUTHORITY) and WINEPREFIX
#   wine-session.sh which BITS prints the Wine that runs programs of BITS here
#                              ("the i386 root", "the host", or nothing)
#
# The 64-bit programs run under the host's 64-bit Wine. The 32-bit ones run
# only where the kernel starts i386 programs, under the Wine of the private
# i386 root (cmake/i386-root.sh), which sees the machine's files as the host's
# Wine does. A 32-bit Wine refuses a prefix that a 64-bit one made: the 32-bit
# programs get prefixes of their own.
#
# A session belongs to the process that started it (VELTRANE_SESSION_OWNER, or
# the caller's parent: ctest, for the fixtures and the tests), so runs at once
# never share or stop each other's display. Its Wine processes live in a
# process namespace of its own: the first process there keeps the prefix's
# Wine server running, and every program of the session is started inside
# (nsenter), so Wine's services and any server start there too. When the
# session ends, with its owner or with stop, however the run ends, the kernel
# ends all of them, and its display ends with it: nothing is searched for.
# A server that dies while the session lasts takes its programs with it (they
# would wait for it for good) and a new one starts. The session owns its
# prefix through a lock that its every process holds, so the next run waits
# until the last of them has gone; the prefix's temporary folder is emptied
# as a session starts and ends. Everything started goes with its output away
# from the caller's: ctest reads its tests through pipes, and waits for as
# long as anything holds them open.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
clone=$(dirname "$here")

quietly() { "$@" </dev/null >/dev/null 2>&1; }
fail() { echo "$*" >&2; exit 1; }

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
        i686) if kernel_runs_i386 && sh "$here/i386-root.sh" ready; then echo root; fi ;;
        *) fail "BITS is i686 or x86_64, not \"$1\"" ;;
    esac
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
        root:wine) exec sh "$here/i386-root.sh" run /usr/lib/wine/wine "$@" ;;
        root:wineserver) exec sh "$here/i386-root.sh" run /usr/lib/wine/wineserver32 "$@" ;;
        *) fail "No Wine here runs these programs (${kind:-32-bit}); see \"Which Windows build runs where\" in README.md" ;;
    esac
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

# The Windows tests' scratch folders are in the prefix's temporary folder.
empty_temp() {  # prefix
    for temp in "$1"/drive_c/users/*/Temp; do
        [ ! -d "$temp" ] || find "$temp" -mindepth 1 -maxdepth 1 -exec rm -rf --one-file-system {} +
    done
}

# watch SESSION OWNER: starts Xvfb (its display number to file descriptor 3)
# and the session's namespace, both of which the kernel ends when this watcher
# ends (Xvfb with TERM, the namespace with KILL). It ends once the owner has
# gone, stop has removed the session's "alive" file, or the namespace has
# ended, after asking the server to end its programs and save the registry,
# as Wine does. It runs in a session of its own: a signal to the owner's
# process group (Ctrl-C, a timeout) leaves it to end things after the owner.
watch() {
    setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp &
    exec 3>&-
    session=$1
    setpriv --pdeathsig KILL unshare --pid --fork --kill-child --mount-proc --propagation unchanged \
        sh "$0" serve "$session" &
    # Named once unshare has made it, for in-namespace.
    while [ "$(readlink "/proc/$!/ns/pid_for_children")" = "$(readlink "/proc/$$/ns/pid")" ]; do
        sleep 0.1
    done
    printf '%s\n' "$!" "$(readlink "/proc/$!/ns/pid_for_children")" >"$session/namespace.new"
    mv "$session/namespace.new" "$session/namespace"
    while owner_alive "$2" && [ -f "$session/alive" ] && kill -0 "$!" 2>/dev/null; do
        sleep 0.5
    done
    rm -f "$session/alive"
    quietly timeout 10 sh "$0" in-namespace "$session" in-kind "$(cat "$session/kind")" wineserver -k || true
}

# The first process of the session's namespace: makes the prefix if new, then
# keeps its Wine server running, with Wine's services started beside it, away
# from any pipe. When a server ends, whatever is left of its programs goes.
serve() {  # session
    session=$1
    until grep -q '^[0-9][0-9]*$' "$session/display" 2>/dev/null; do
        sleep 0.1
    done
    kind=$(cat "$session/kind")
    export WINEPREFIX="$(cat "$session/prefix")" DISPLAY=":$(cat "$session/display")"
    if [ ! -f "$WINEPREFIX/.veltrane-made" ]; then
        quietly sh "$0" in-kind "$kind" wine cmd /c exit || true
        # Without a window manager, hiding a managed window waits two seconds.
        quietly sh "$0" in-kind "$kind" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || true
        # Made only once its server has saved the registry, as it does when it
        # ends: a prefix whose server was killed before is made again.
        quietly sh "$0" in-kind "$kind" wineserver --wait || true
        touch "$WINEPREFIX/.veltrane-made"
    fi
    # The server is ready once the command that starts it returns; --wait
    # returns once it has ended.
    while [ -f "$session/alive" ]; do
        quietly sh "$0" in-kind "$kind" wineserver --persistent || true
        quietly sh "$0" in-kind "$kind" wine cmd /c exit || true
        touch "$session/ready"
        quietly sh "$0" in-kind "$kind" wineserver --wait || true
        rm -f "$session/ready"
        kill -KILL -1 2>/dev/null || true
    done
}

# in-namespace SESSION COMMAND...: COMMAND inside the session's namespace,
# from the current folder (and root: a chroot stays one).
in_namespace() {
    [ -f "$1/namespace" ] || fail "The Wine session $1 has not started"
    { read -r pid; read -r namespace; } <"$1/namespace"
    [ "$(readlink "/proc/$pid/ns/pid_for_children" 2>/dev/null)" = "$namespace" ] ||
        fail "The Wine session $1 has ended"
    shift
    exec nsenter --target="$pid" --mount --root --pid="/proc/$pid/ns/pid_for_children" --wd="$PWD" sh "$0" "$@"
}

start() {  # state prefix bits
    [ $# -eq 3 ] || fail "start STATE PREFIX BITS"
    kind=$(which_wine "$3")
    [ -n "$kind" ] || wine_command "" wine
    unshare --pid --fork --mount-proc --propagation unchanged true 2>/dev/null ||
        fail "A Wine session is a process namespace of its own (unshare --pid), which only root can make"
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
    echo "$prefix" >"$session/prefix"
    echo "$kind" >"$session/kind"
    touch "$session/alive"
    # One session at a time uses a prefix: two runs' programs on one Wine
    # server take each other's focus and files.
    exec 9>"$prefix.lock"
    if ! flock -n 9; then
        echo "Waiting for the other run that uses the Wine prefix $prefix"
        flock 9
    fi
    empty_temp "$prefix"
    [ -f "$prefix/.veltrane-made" ] || echo "Making the Wine prefix $prefix"
    setsid sh "$0" watch "$session" "$owner" 3>"$session/display" </dev/null >/dev/null 2>&1 &
    exec 9>&-
    waited=0
    until grep -q '^[0-9][0-9]*$' "$session/display"; do
        [ $waited -lt 150 ] || fail "Xvfb did not start"
        sleep 0.1
        waited=$((waited + 1))
    done
    wait_until_served "$session" 3000 || fail "The Wine server of $prefix did not start"
    # Into a file, not a pipe: a Wine server it starts would hold a pipe open.
    if ! sh "$0" in-namespace "$session" in-session "$session" cmd /c exit </dev/null \
            >"$session/first-program.log" 2>&1; then
        fail "Wine ($kind) started no program in the prefix $prefix (a prefix the other Wine made is of no use to it): $(tail -n 5 "$session/first-program.log")"
    fi
}

# Waits up to TENTHS tenths of a second for the session's server, so that no
# program starts one of its own (with the caller's output).
wait_until_served() {  # session tenths
    waited=0
    until [ -f "$1/ready" ]; do
        [ -f "$1/alive" ] && [ $waited -lt "$2" ] || return 1
        sleep 0.1
        waited=$((waited + 1))
    done
}

session_of() {  # state
    session=$1/owner-$(owner_of)
    [ -f "$session/alive" ] || fail "No Wine session of this run in $1: start it first (wine-session.sh start)"
    echo "$session"
}

# Returns once every process of the session has gone (they all hold the
# prefix's lock).
stop() {  # state
    session=$1/owner-$(owner_of)
    [ -f "$session/alive" ] || return 0
    rm -f "$session/alive"
    prefix=$(cat "$session/prefix")
    quietly timeout 30 flock "$prefix.lock" true || true
    empty_temp "$prefix"
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
    start) start "$@" ;;
    stop) stop "$@" ;;
    run)
        session=$(session_of "$1")
        shift
        exec sh "$0" in-namespace "$session" in-session "$session" "$@"
        ;;
    wine)
        kind=$(which_wine "$1")
        shift
        # A server started apart from any pipe; it ends three seconds after
        # its last program.
        quietly sh "$0" in-kind "$kind" wineserver || true
        wine_command "$kind" wine "$@"
        ;;
    which)
        case "$(which_wine "$1")" in
            host64) echo "the host" ;;
            root) echo "the i386 root" ;;
        esac
        ;;
    display) echo ":$(cat "$(session_of "$1")/display")" ;;
    in-session)
        session=$1
        shift
        wait_until_served "$session" 300 || true
        export DISPLAY=":$(cat "$session/display")" WINEPREFIX="$(cat "$session/prefix")"
        wine_command "$(cat "$session/kind")" wine "$@"
        ;;
    in-kind) wine_command "$@" ;;
    in-namespace) in_namespace "$@" ;;
    watch) watch "$@" ;;
    serve) serve "$@" ;;
    *) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

# Sourced by veltrane.sh: how a command runs its long steps, so that whatever
# it starts ends with it, however it ends, and the Wine sessions it owns.

# Each long step runs in a process namespace of its own (unshare --pid, with a
# /proc of its own): when its first process ends, the kernel ends whatever the
# step started, and that first process ends with this script, however this
# script ends. INT or TERM ends the step under way: its first process passes
# TERM on to every process of the step, and KILL follows five seconds later.
# Bash runs a trap only once the command in the foreground has ended, so a
# step runs in the background, in a session of its own, and is waited for. A
# command with a summary (SUMMARY set) goes on to it, INTERRUPTED saying why;
# others exit.
STEP=
SUMMARY=
INTERRUPTED=
interrupted() {  # status
    INTERRUPTED=$1
    [ -n "$STEP" ] || [ -n "$SUMMARY" ] || exit "$1"
}
trap 'interrupted 130' INT
trap 'interrupted 143' TERM

# shellcheck disable=SC2016
STEP_INIT='trap "kill -s TERM -1 2>/dev/null" INT TERM
"$@" &
while :; do wait $! 2>/dev/null && exit 0; status=$?; kill -0 $! 2>/dev/null || exit $status; done'

# step COMMAND...: its status, or INTERRUPTED's.
step() {
    local status=0 waited=0
    [ -z "$INTERRUPTED" ] || return "$INTERRUPTED"
    [ "$(id -u)" = 0 ] || { echo "The steps of this command run as root (in namespaces of their own)" >&2; exit 1; }
    setsid setpriv --pdeathsig KILL unshare --pid --fork --kill-child --mount-proc --propagation unchanged \
        sh -c "$STEP_INIT" step "$@" &
    STEP=$!
    wait "$STEP" || status=$?
    if [ -n "$INTERRUPTED" ]; then
        kill -TERM -- "-$STEP" 2>/dev/null || true
        # unshare ends only once everything in its namespace has.
        while kill -0 "$STEP" 2>/dev/null && [ $waited -lt 50 ]; do
            sleep 0.1
            waited=$((waited + 1))
        done
        kill -KILL "$STEP" 2>/dev/null || true
        wait "$STEP" 2>/dev/null || true
        STEP=
        [ -n "$SUMMARY" ] || exit "$INTERRUPTED"
        return "$INTERRUPTED"
    fi
    STEP=
    return "$status"
}

# A Wine session belongs to this command: it ends with it, however it ends.
SESSIONS=()
start_session() {  # state prefix bits
    export VELTRANE_SESSION_OWNER=$$
    SESSIONS+=("$1")
    sh "$SESSION" start "$1" "$2" "$3"
}

at_exit() {
    local status=$? state
    for state in "${SESSIONS[@]}"; do
        sh "$SESSION" stop "$state" || true
    done
    [ -z "$SUMMARY" ] || summarize_tests "$status"
}
trap at_exit EXIT

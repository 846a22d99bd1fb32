#!/bin/sh
# run-test-program.sh COMMAND...: runs a GoogleTest program (through its
# launcher, if any) for ctest. It passed only if it exited 0 and ran to its
# closing summary with at least one test passed: a program cut short can exit
# 0 (under Wine, when its server goes away), one that says it passed can still
# fail on its way out, and a filter that matches nothing runs no test.
# It ends with ctest, however ctest ends, and ends the program then too.
if [ -z "${VELTRANE_TEST_WATCHED:-}" ] && command -v setpriv >/dev/null 2>&1; then
    exec env VELTRANE_TEST_WATCHED=1 setpriv --pdeathsig TERM sh "$0" "$@"
fi
program=
trap 'kill -TERM $program 2>/dev/null; exit 130' INT
trap 'kill -TERM $program 2>/dev/null; exit 143' TERM
# The output goes to a file, not a pipe (a Wine server the program starts
# would hold a pipe open), unlinked at once, so that nothing of it outlives
# the run, however it ends.
capture=$(mktemp) || exit 1
exec 3>"$capture" 4<"$capture"
rm -f "$capture"
# The Windows builds' Wine session belongs to ctest, which started it.
VELTRANE_SESSION_OWNER=${VELTRANE_SESSION_OWNER:-$PPID}
export VELTRANE_SESSION_OWNER
status=0
"$@" >&3 2>&1 3>&- 4<&- &
program=$!
wait "$program" || status=$?
output=$(cat <&4)
printf '%s\n' "$output"
if [ $status -ne 0 ]; then
    echo "run-test-program.sh: the test program exited with status $status"
    exit 1
fi
if ! printf '%s\n' "$output" | grep -q '^\[  PASSED  \] [0-9][0-9]* tests\{0,1\}\.'; then
    echo "run-test-program.sh: the test program ended before its closing summary"
    exit 1
fi
if printf '%s\n' "$output" | grep -q '^\[  PASSED  \] 0 tests\.'; then
    echo "run-test-program.sh: the test program ran no test"
    exit 1
fi

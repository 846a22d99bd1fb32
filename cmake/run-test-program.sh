#!/bin/sh
# run-test-program.sh COMMAND...: runs a GoogleTest program (through its
# launcher, if any) for ctest. It passed only if it exited 0 and ran to its
# closing summary: a program cut short can exit 0 (under Wine, when its server
# goes away), and one that says it passed can still fail on its way out.
output=$(mktemp) || exit 1
trap 'rm -f "$output"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# The Windows builds' Wine session belongs to ctest, which started it.
VELTRANE_SESSION_OWNER=${VELTRANE_SESSION_OWNER:-$PPID}
export VELTRANE_SESSION_OWNER
status=0
"$@" >"$output" 2>&1 || status=$?
cat "$output"
if [ $status -ne 0 ]; then
    echo "run-test-program.sh: the test program exited with status $status"
    exit 1
fi
if ! grep -q '^\[  PASSED  \] [0-9][0-9]* tests\{0,1\}\.' "$output"; then
    echo "run-test-program.sh: the test program ended before its closing summary"
    exit 1
fi

#!/bin/sh
# kernel-runs-i386.sh FOLDER: exits 0 when this kernel starts a 32-bit (i386)
# program, 1 when it does not. It asks by starting one, made with binutils
# alone in a folder of its own inside FOLDER (not /tmp, which may be mounted
# noexec), removed again, that exits with 42; calls at once never share it.
# VELTRANE_I386_RUNS=yes or no overrides the answer.
case "${VELTRANE_I386_RUNS:-}" in
    yes) exit 0 ;;
    no) exit 1 ;;
    "") ;;
    *) echo "VELTRANE_I386_RUNS is \"$VELTRANE_I386_RUNS\"; it can be yes or no" >&2; exit 2 ;;
esac
mkdir -p "${1:?the folder to make the probe in}" && folder=$(mktemp -d "$1/i386-probe.XXXXXX") || exit 2
trap 'rm -rf "$folder"' EXIT
if ! printf '.globl _start\n_start: movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' |
        as --32 -o "$folder/exit42.o" - || ! ld -m elf_i386 -o "$folder/exit42" "$folder/exit42.o"; then
    echo "WARNING: could not make the i386 probe (binutils); taking it that 32-bit programs do not run" >&2
    exit 1
fi
"$folder/exit42" 2>/dev/null
[ $? -eq 42 ]

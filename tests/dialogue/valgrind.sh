#!/usr/bin/env bash
# memcheck over whole runs of the program: no errors, no leaks, and no heap
# blocks but the two that the C library takes for the stdin and stdout buffers.
# Usage: valgrind.sh VALGRIND PROGRAM
set -u
valgrind=$1 program=$2 failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for input in '0123456789\n' '0-12-345678-9\n' '' "$(printf '9%.0s' {1..300})"; do
    printf '%b' "$input" | setsid -w "$valgrind" --error-exitcode=99 --leak-check=full \
        --show-leak-kinds=all --errors-for-leak-kinds=all --log-file="$log" "$program" >/dev/null
    status=$?
    allocs=$(sed -n 's/.*total heap usage: \([0-9,]*\) allocs.*/\1/p' "$log" | tr -d ,)
    echo "input '${input:0:20}': status $status, heap blocks ${allocs:-?}"
    if [ "$status" -ne 0 ] || [ -z "$allocs" ] || [ "$allocs" -gt 2 ]; then
        failed=1
        cat "$log"
    fi
done
exit "$failed"

#!/usr/bin/env bash
# The program's own code never allocates on the heap: none of its object
# files refers to an allocation function. Usage: no_heap.sh NM OBJECT_OR_ARCHIVE...
set -u
nm=$1
shift
found=$("$nm" -C -u "$@" |
    grep -E '\b(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|strdup|strndup|open_memstream)\b|operator (new|delete)')
if [ -n "$found" ]; then
    echo "heap allocation in the program's own code:"
    echo "$found"
    exit 1
fi
echo "no allocation function referenced by: $*"

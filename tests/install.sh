#!/usr/bin/env bash
# cmake --install puts the program and its manual page where console tools go,
# and the page formats without warnings. Usage: install.sh BUILD_DIR
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/isbn10"
test -f "$prefix/share/man/man1/isbn10.1"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/isbn10.1" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "$warnings"
    exit 1
fi
echo "0123456789" | setsid -w "$prefix/bin/isbn10" | grep -qx 'gokei = 165'
echo "installed and runs: $prefix/bin/isbn10, share/man/man1/isbn10.1"

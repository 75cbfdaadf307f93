#!/usr/bin/env bash
# cmake --install puts the program and its manual pages, English and
# Japanese, where console tools go, and each page formats in its own language
# without a warning from man (groff) or, where installed, mandoc's lint.
# Usage: install.sh BUILD_DIR [EMULATOR...]
set -eu
build=$1
shift
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/isbn10"
echo "0123456789" | setsid -w "$@" "$prefix/bin/isbn10" | grep -qx 'gokei = 165'
failed=0
# locale | page | a line the page must show
while IFS='|' read -r lang page heading; do
    page=$prefix/share/man/$page
    shown=$(LC_ALL=$lang MANWIDTH=80 man --warnings -l "$page" 2>&1) || true
    if command -v mandoc >/dev/null; then
        shown+=$'\n'$(zcat "$page" | mandoc -Tlint 2>&1) || true
    fi
    if ! grep -qx "$heading" <<<"$shown" || grep -q -E '^(troff|groff|preconv|man|mandoc): ' <<<"$shown"; then
        echo "FAIL: $page with $lang:"
        echo "$shown"
        failed=1
    fi
done <<'PAGES'
C.UTF-8|man1/isbn10.1.gz|EXIT STATUS
ja_JP.UTF-8|ja/man1/isbn10.1.gz|終了ステータス
PAGES
[ "$failed" -eq 0 ] && echo "installed and runs: $prefix/bin/isbn10, and both manual pages"
exit "$failed"

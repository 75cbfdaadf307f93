#!/usr/bin/env bash
# cmake --install puts the program and its manual pages, English and
# Japanese, where console tools go, and man finds and formats each in its own
# language at several widths without a warning from groff; with --mandoc,
# mandoc's lint and its rendering instead.
# Usage: install.sh [--mandoc] BUILD_DIR [EMULATOR...]
set -eu
mandoc=0
[ "$1" != --mandoc ] || { mandoc=1 && shift; }
build=$1
shift
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/isbn10"
((mandoc)) || echo "0123456789" | setsid -w "$@" "$prefix/bin/isbn10" | grep -qx 'gokei = 165'
failed=0
# The Japanese page as man shows it: groff breaks lines between Japanese
# characters itself, so a space between two of them is a stray one from the
# source; no line may end on an opening bracket, no number be parted from
# its unit, and the page is set ragged-right, so no space is stretched
# (the bullets and numbered tags of a list and the centred header and
# footer aside). The English page is justified.
japanese='[\p{Han}\p{Hiragana}\p{Katakana}、。「」（）！…]'
units='バイト|ビット|秒|桁|行|文字'
badly_set() {
    [[ $page == ja/* ]] || return 1
    LC_ALL=C.UTF-8 grep -P -n "$japanese +$japanese|[（「]\$|^(?!.*ISBN10\(1\))(?! +[0-9]+ {2,}).*[^\s•] {2,}\S" <<<"$1" ||
        LC_ALL=C.UTF-8 grep -P -z -o "[0-9]\n *($units)" <<<"$1"
}
# locale | page | a line the page must show
while IFS='|' read -r lang page heading; do
    for width in 60 80 100; do
        if ((mandoc)); then
            shown=$(zcat "$prefix/share/man/$page" | mandoc -Tlint 2>&1
                zcat "$prefix/share/man/$page" | mandoc -Tutf8 -O width=$width | sed 's/.\x08//g') || true
        else
            shown=$(MANPATH=$prefix/share/man LC_ALL=$lang MANWIDTH=$width man --warnings isbn10 2>&1) || true
        fi
        if ! grep -qx "$heading" <<<"$shown" || grep -q -E '^(troff|groff|preconv|man|mandoc):' <<<"$shown" ||
            badly_set "$shown"; then
            echo "FAIL: $page with $lang at $width columns$( ((mandoc)) && echo ', in mandoc'):"
            echo "$shown"
            failed=1
        fi
    done
done <<'PAGES'
C.UTF-8|man1/isbn10.1.gz|EXIT STATUS
ja_JP.UTF-8|ja/man1/isbn10.1.gz|終了ステータス
PAGES
[ "$failed" -eq 0 ] && echo "installed: $prefix/bin/isbn10, and both manual pages as $( ((mandoc)) && echo mandoc || echo man) shows them"
exit "$failed"

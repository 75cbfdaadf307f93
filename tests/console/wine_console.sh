#!/usr/bin/env bash
# The Windows program on a real console: Wine started inside tmux gives it
# one. The token and the key are typed with send-keys, and the rendered
# screen, read with capture-pane, must be exactly the dialogue, readable in
# console code page 437 (LANG=C.UTF-8) and 932 (LANG=ja_JP.UTF-8).
# Usage: wine_console.sh COMMAND...    (for example: wine_console.sh wine-run isbn10.exe)
set -u
program=$(printf '%q ' "$@")
tmp=$(mktemp -d)
trap 'for s in "$tmp"/socket.*; do tmux -S "$s" kill-server 2>/dev/null; done; rm -rf "$tmp"' EXIT
if [ "$(LC_ALL=ja_JP.UTF-8 locale charmap 2>/dev/null)" != UTF-8 ]; then
    echo "no ja_JP.UTF-8 locale (LOCPATH, or locale-gen): Wine would not use code page 932"
    exit 1
fi
failed=0

# until SECONDS CONDITION...: true once the condition holds, false at the timeout.
until_() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.2
    done
}
shows() { [[ $("${tmux[@]}" capture-pane -p -t run) == *"$1"* ]]; }
# Wine's console turns the terminal's echo off only after the prompt shows;
# keys typed before that would be echoed twice.
reading() { [[ $(stty -F "$tty") =~ -echo( |$) ]]; }

answered=$'ISBNを入力してください。\n0123456789\ngokei = 165\n正しい番号です。'
closed=$answered$'\nおしまい！'

for lang in C.UTF-8 ja_JP.UTF-8; do
    for key in q Enter Up; do
        name="$lang, key $key"
        rm -f "$tmp/status"
        # A server of our own for each run, apart from the user's and from
        # one still ending.
        tmux=(tmux -S "$tmp/socket.$lang.$key")
        "${tmux[@]}" new-session -d -s run -x 80 -y 24 \
            "env -u LC_ALL -u LC_CTYPE LANG=$lang $program; echo \$? >$tmp/status; sleep 600"
        tty=$("${tmux[@]}" display-message -p -t run '#{pane_tty}')
        until_ 60 shows 'ISBN' && until_ 10 reading
        "${tmux[@]}" send-keys -t run -l 0123456789
        "${tmux[@]}" send-keys -t run Enter
        until_ 30 shows 'gokei'
        sleep 1 # time enough for a closing line that does not wait for the key
        before=$("${tmux[@]}" capture-pane -p -t run)
        "${tmux[@]}" send-keys -t run "$key"
        until_ 30 test -s "$tmp/status"
        after=$("${tmux[@]}" capture-pane -p -t run)
        status=$(cat "$tmp/status" 2>/dev/null)
        "${tmux[@]}" kill-server
        if [ "$before" != "$answered" ] || [ "$after" != "$closed" ] || [ "$status" != 0 ]; then
            failed=$((failed + 1))
            printf 'FAIL: %s: status %s\n--- before the key:\n%s\n--- after:\n%s\n---\n' \
                "$name" "$status" "$before" "$after"
        fi
    done
done
echo "$((6 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]

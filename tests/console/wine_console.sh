#!/usr/bin/env bash
# The Windows program on a real console: Wine started inside tmux gives it
# one. The token and the key are typed with send-keys, and the rendered
# screen, read with capture-pane, must be exactly the dialogue, readable in
# console code page 437 (LANG=C.UTF-8) and 932 (LANG=ja_JP.UTF-8). Started
# from cmd.exe, lines pasted at the key wait end it, and cmd.exe runs none;
# a second Enter typed straight after the ISBN's does not end it.
# Usage: wine_console.sh RUNNER... PROGRAM    (for example: wine_console.sh wine-run isbn10.exe)
set -u
runner=$(printf '%q ' "${@:1:$#-1}")
exe=$(cd "$(dirname "${!#}")" && pwd)/$(basename "${!#}")
tmp=$(mktemp -d)
trap 'for s in "$tmp"/socket.*; do tmux -S "$s" kill-server 2>/dev/null; done; rm -rf "$tmp"' EXIT
if [ "$(LC_ALL=ja_JP.UTF-8 locale charmap 2>/dev/null)" != UTF-8 ]; then
    echo "no ja_JP.UTF-8 locale (LOCPATH, or locale-gen): Wine would not use code page 932"
    exit 1
fi
runs=0 failed=0

# until SECONDS CONDITION...: true once the condition holds, false at the timeout.
until_() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do ((SECONDS < end)) || return 1; sleep 0.2; done
}
shows() { [[ $("${tmux[@]}" capture-pane -p -t run) == *"$1"* ]]; }
# Wine's console turns the terminal's echo off only once a program reads;
# keys typed before that would be echoed twice.
reading() { [[ $(stty -F "$tty") =~ -echo( |$) ]]; }
# type TEXT [KEY...]: typed once the console reads, then Enter and the keys,
# all in one write, so that the keys are pending before the line is read.
type_() {
    until_ 10 reading
    "${tmux[@]}" send-keys -t run -l "$1" \; send-keys -t run Enter "${@:2}"
}

answered=$'ISBNを入力してください。\n0123456789\ngokei = 165\n正しい番号です。'
closed=$answered$'\nおしまい！'
# Three command lines for cmd.exe, each making a file if it runs.
pasted=$'echo one> pasted1.txt\necho two> pasted2.txt\necho three> pasted3.txt\n'

for lang in C.UTF-8 ja_JP.UTF-8; do
    for key in q Enter Up paste Enter_ahead; do
        name="$lang, key $key" runs=$((runs + 1))
        rm -f "$tmp/status" "$tmp"/*.txt
        # A server of our own for each run, apart from the user's and from
        # one still ending.
        tmux=(tmux -S "$tmp/socket.$lang.$key")
        command="$runner $(printf %q "$exe")" around='' ran=''
        # cmd.exe's own lines around the dialogue
        [ "$key" != paste ] || command="$runner cmd" around='*'
        "${tmux[@]}" new-session -d -s run -x 80 -y 24 -c "$tmp" \
            "env -u LC_ALL -u LC_CTYPE LANG=$lang $command; echo \$? >$tmp/status; sleep 600"
        tty=$("${tmux[@]}" display-message -p -t run '#{pane_tty}')
        [ "$key" != paste ] || { until_ 60 shows '>' && type_ "\"Z:${exe//\//\\}\""; }
        ahead=()
        [ "$key" != Enter_ahead ] || ahead=(Enter)
        until_ 60 shows 'ISBN' && type_ 0123456789 "${ahead[@]}"
        until_ 30 shows 'gokei'
        sleep 1 # time enough for a closing line that does not wait for the key
        before=$("${tmux[@]}" capture-pane -p -t run)
        if [ "$key" = paste ]; then
            "${tmux[@]}" set-buffer "$pasted"
            "${tmux[@]}" paste-buffer -t run
            # cmd.exe has read all it will once it runs a line typed after the program.
            until_ 30 shows 'おしまい！' && type_ 'echo done> marker.txt'
            until_ 30 test -f "$tmp/marker.txt" || ran='(no line typed after it ran) '
            ran+=$(cd "$tmp" && ls pasted*.txt 2>/dev/null)
            type_ exit
        else
            "${tmux[@]}" send-keys -t run "${key%_ahead}"
        fi
        until_ 30 test -s "$tmp/status"
        after=$("${tmux[@]}" capture-pane -p -t run)
        status=$(cat "$tmp/status" 2>/dev/null)
        "${tmux[@]}" kill-server
        if [[ $before != $around"$answered" || $after != $around"$closed"$around || -n $ran ||
            $status != 0 ]]; then
            failed=$((failed + 1))
            printf 'FAIL: %s: status %s %s\n--- before the key:\n%s\n--- after:\n%s\n---\n' \
                "$name" "$status" "${ran:+cmd.exe ran: $ran}" "$before" "$after"
            [ -z "${WINE_RUN_DIR-}" ] || tail -n 5 "$WINE_RUN_DIR/wine.log"
        fi
    done
done
echo "$((runs - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Runs the whole program as a user would, with the token on standard input and
# no controlling terminal, and compares standard output byte for byte, the exit
# status and standard error.
# Usage: e2e.sh [--windows] COMMAND...    (for example: e2e.sh --windows wine isbn10.exe)
set -u
export LC_ALL=C # byte-wise strings here; the program gets its own locale below
windows=0
if [ "${1-}" = --windows ]; then
    windows=1
    shift
fi
program=("$@")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0

# The texts as the program must write them: Shift_JIS, and the same in UTF-8.
declare -A sjis=(
    [prompt]=$'ISBN\x82\xF0\x93\xFC\x97\xCD\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\n'
    [correct]=$'\x90\xB3\x82\xB5\x82\xA2\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n'
    [invalid]=$'\x95\x73\x90\xB3\x82\xC8\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n'
    [error]=$'\x93\xFC\x97\xCD\x83\x7E\x83\x58\x82\xC5\x82\xB7\x81\x42\n'
    [closing]=$'\x82\xA8\x82\xB5\x82\xDC\x82\xA2\x81\x49\n'
)
declare -A utf8=(
    [prompt]=$'ISBNを入力してください。\n'
    [correct]=$'正しい番号です。\n'
    [invalid]=$'不正な番号です。\n'
    [error]=$'入力ミスです。\n'
    [closing]=$'おしまい！\n'
)

# run INPUT [VAR=VALUE...]: INPUT (printf %b escapes) on standard input, and
# of the locale variables only those given.
run() {
    local input=$1
    shift
    printf '%b' "$input" >"$tmp/in"
    timeout 60 setsid -w env -u LC_ALL -u LC_CTYPE -u LANG "$@" "${program[@]}" \
        <"$tmp/in" >"$tmp/out" 2>"$tmp/err"
    status=$?
}

# expect NAME STATUS STDOUT [STDERR]
expect() {
    local name=$1 want_status=$2 want_out=$3 want_err=${4-}
    if ((windows)); then
        want_out=${want_out//$'\n'/$'\r\n'}
    fi
    printf '%s' "$want_out" >"$tmp/want_out"
    printf '%s' "$want_err" >"$tmp/want_err"
    if [ "$status" = "$want_status" ] && cmp -s "$tmp/want_out" "$tmp/out" &&
        cmp -s "$tmp/want_err" "$tmp/err"; then
        passed=$((passed + 1))
        return
    fi
    failed=$((failed + 1))
    echo "FAIL: $name: status $status, want $want_status"
    echo "  stdout:"; od -An -c "$tmp/out" | head -20
    echo "  want:"; od -An -c "$tmp/want_out" | head -20
    echo "  stderr:"; head -c 2000 "$tmp/err"
}

# dialogue TEXTS TRACE VERDICT: sets want to the whole output of one run.
dialogue() {
    local -n texts=$1
    local trace=${2:+$2$'\n'}
    want="${texts[prompt]}$trace${texts[$3]}${texts[closing]}"
}

long63=$(printf '1%.0s' {1..63})
long200=$(printf '0%.0s' {1..200})

# name | standard input | trace line, empty for none | verdict
while IFS='|' read -r name input trace verdict; do
    run "$input"
    dialogue sjis "$trace" "$verdict"
    expect "$name" 0 "$want"
    if ((!windows)); then
        run "$input" LANG=ja_JP.UTF-8
        dialogue utf8 "$trace" "$verdict"
        expect "$name (UTF-8)" 0 "$want"
    fi
done <<CASES
typical|0123456789\n|gokei = 165|correct
wrong_check_digit|0123456788\n|gokei = 164|invalid
lower_case_x|123456789x\n|gokei = 220|correct
upper_case_x|123456789X\n|gokei = 220|correct
letters_count_by_value|ABCDEFGHIJ\n|gokei = 1100|correct
negative_multiple|!!!!!!!!!!\n|gokei = -825|correct
full_width_digits|\x82\x4F\x82\x50\x82\x51\x82\x52\x82\x53\n|gokei = -4415|invalid
hyphens|0-12-345678-9\n||error
nine_bytes|123456789\n||error
thirteen_digits|9784123456789\n||error
white_space_first|\n\n  \t\r\n\v\f0123456789\n|gokei = 165|correct
second_token_unread|0123456789 1234567890\n|gokei = 165|correct
only_first_token_counts|123456789 0123456789\n||error
no_line_end|0123456789|gokei = 165|correct
carriage_return_line_end|0123456789\r\n|gokei = 165|correct
empty_input|||error
only_white_space| \n\t\n\n||error
bytes_63|$long63\n||error
bytes_64|${long63}1\n||error
bytes_200|$long200 0123456789\n||error
CASES

if ((!windows)); then
    # Which encoding the locale variables select, by their precedence.
    # name | expected texts | variables
    while IFS='|' read -r name texts vars; do
        read -ra assignments <<<"$vars"
        run '0123456789\n' "${assignments[@]}"
        dialogue "$texts" 'gokei = 165' correct
        expect "locale $name" 0 "$want"
    done <<'CASES'
none|sjis|
lang_utf8|utf8|LANG=ja_JP.UTF-8
lang_utf8_lower|utf8|LANG=C.utf8
lc_ctype_mixed_case|utf8|LC_CTYPE=en_US.Utf-8
lc_all_wins|utf8|LC_ALL=ja_JP.UTF8 LANG=C
lc_all_c_wins|sjis|LC_ALL=C LANG=ja_JP.UTF-8
lc_ctype_before_lang|sjis|LC_CTYPE=ja_JP.SJIS LANG=ja_JP.UTF-8
empty_ones_skipped|utf8|LC_ALL= LC_CTYPE= LANG=ja_JP.UTF-8
euc_jp|sjis|LANG=ja_JP.eucJP
posix|sjis|LANG=POSIX
modifier_after_utf8|utf8|LANG=sr_RS.UTF-8@latin
modifier_after_utf8_lower|utf8|LC_ALL=ca_ES.utf8@valencia
iso_8859_1|sjis|LANG=it_IT.ISO-8859-1
no_codeset|sjis|LANG=pt_BR
CASES

    # A lost line is reported, never passed off as success.
    printf '0123456789\n' >"$tmp/in"
    setsid -w env -u LANG "${program[@]}" <"$tmp/in" >/dev/full 2>"$tmp/err"
    status=$?
    : >"$tmp/out"
    expect "stdout_full" 1 "" $'isbn10: write error: No space left on device\n'
    setsid -w env -u LANG "${program[@]}" <"$tmp/in" >&- 2>"$tmp/err"
    status=$?
    expect "stdout_closed" 1 "" $'isbn10: write error: Bad file descriptor\n'
    setsid -w env -u LANG "${program[@]}" <"$tmp/in" 1</dev/null 2>"$tmp/err"
    status=$?
    expect "stdout_read_only" 1 "" $'isbn10: write error: Bad file descriptor\n'
    setsid -w env -u LANG "${program[@]}" <&- >"$tmp/out" 2>"$tmp/err"
    status=$?
    dialogue sjis '' error
    expect "stdin_closed" 0 "$want"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

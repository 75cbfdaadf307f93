#!/usr/bin/env bash
# Runs the whole program as a user would, with the token on standard input and
# no controlling terminal, and compares standard output byte for byte, the exit
# status and standard error.
# Usage: e2e.sh [--windows] COMMAND...    (for example: e2e.sh --windows wine isbn10.exe)
set -u
export LC_ALL=C # byte-wise strings here; the program gets its own locale below
windows=0
[ "${1-}" != --windows ] || { windows=1 && shift; }
program=("$@")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

# The texts as the program must write them in Shift_JIS: ISBNを入力してください。
# 正しい番号です。 不正な番号です。 入力ミスです。 おしまい！ And the same in UTF-8.
declare -A sjis=(
    [prompt]=$'ISBN\x82\xF0\x93\xFC\x97\xCD\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\n'
    [correct]=$'\x90\xB3\x82\xB5\x82\xA2\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n'
    [invalid]=$'\x95\x73\x90\xB3\x82\xC8\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n'
    [error]=$'\x93\xFC\x97\xCD\x83\x7E\x83\x58\x82\xC5\x82\xB7\x81\x42\n'
    [closing]=$'\x82\xA8\x82\xB5\x82\xDC\x82\xA2\x81\x49\n'
)
declare -A utf8
for text in "${!sjis[@]}"; do
    utf8[$text]=$(printf %s "${sjis[$text]}" | iconv -f SHIFT_JIS -t UTF-8)$'\n'
done

# run INPUT [VAR=VALUE...]: INPUT (printf %b escapes) on standard input, and
# of the locale variables only those given; then $redirect, where set,
# changes the program's descriptors (>/dev/full, <&-).
run() {
    printf '%b' "$1" >"$tmp/in"
    shift
    eval 'timeout 60 setsid -w env -u LC_ALL -u LC_CTYPE -u LANG "$@" "${program[@]}" \
        <"$tmp/in" >"$tmp/out" 2>"$tmp/err"' "${redirect-}"
    status=$?
}

# expect NAME STATUS TEXTS TRACE VERDICT [STDERR]: the whole output of one
# run in TEXTS (sjis or utf8, none if empty), the TRACE line (if any) before
# the VERDICT.
expect() {
    local name=$1 want_status=$2 want_out= want_err=${6-}
    if [ -n "$3" ]; then
        local -n table=$3
        want_out="${table[prompt]}${4:+$4$'\n'}${table[$5]}${table[closing]}"
    fi
    if ((windows)); then
        want_out=${want_out//$'\n'/$'\r\n'}
    fi
    if [ "$status" = "$want_status" ] && cmp -s <(printf '%s' "$want_out") "$tmp/out" &&
        cmp -s <(printf '%s' "$want_err") "$tmp/err"; then
        passed=$((passed + 1))
        return
    fi
    failed=$((failed + 1))
    echo "FAIL: $name: status $status, want $want_status"
    echo "  stdout:"; od -An -c "$tmp/out" | head -20
    echo "  want:"; printf '%s' "$want_out" | od -An -c | head -20
    echo "  stderr:"; head -c 2000 "$tmp/err"
}

long63=$(printf '1%.0s' {1..63})
long200=$(printf '0%.0s' {1..200})

# name | standard input | trace line, empty for none | verdict
while IFS='|' read -r name input trace verdict; do
    run "$input"
    expect "$name" 0 sjis "$trace" "$verdict"
    if ((!windows)); then
        run "$input" LANG=ja_JP.UTF-8
        expect "$name (UTF-8)" 0 utf8 "$trace" "$verdict"
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
    # Which encoding the locale variables select, by their precedence; and a
    # lost line is reported, never passed off as success.
    # name | variables | redirection | status | texts | trace line | verdict | standard error
    while IFS='|' read -r name vars redirect want_status texts trace verdict err; do
        read -ra assignments <<<"$vars"
        run '0123456789\n' "${assignments[@]}"
        expect "$name" "$want_status" "$texts" "$trace" "$verdict" "${err:+$err$'\n'}"
    done <<'CASES'
locale none|||0|sjis|gokei = 165|correct|
locale lang_utf8|LANG=ja_JP.UTF-8||0|utf8|gokei = 165|correct|
locale lang_utf8_lower|LANG=C.utf8||0|utf8|gokei = 165|correct|
locale lc_ctype_mixed_case|LC_CTYPE=en_US.Utf-8||0|utf8|gokei = 165|correct|
locale lc_all_wins|LC_ALL=ja_JP.UTF8 LANG=C||0|utf8|gokei = 165|correct|
locale lc_all_c_wins|LC_ALL=C LANG=ja_JP.UTF-8||0|sjis|gokei = 165|correct|
locale lc_ctype_before_lang|LC_CTYPE=ja_JP.SJIS LANG=ja_JP.UTF-8||0|sjis|gokei = 165|correct|
locale empty_ones_skipped|LC_ALL= LC_CTYPE= LANG=ja_JP.UTF-8||0|utf8|gokei = 165|correct|
locale euc_jp|LANG=ja_JP.eucJP||0|sjis|gokei = 165|correct|
locale posix|LANG=POSIX||0|sjis|gokei = 165|correct|
locale modifier_after_utf8|LANG=sr_RS.UTF-8@latin||0|utf8|gokei = 165|correct|
locale modifier_after_utf8_lower|LC_ALL=ca_ES.utf8@valencia||0|utf8|gokei = 165|correct|
locale iso_8859_1|LANG=it_IT.ISO-8859-1||0|sjis|gokei = 165|correct|
locale no_codeset|LANG=pt_BR||0|sjis|gokei = 165|correct|
stdout_full||>/dev/full|1||||isbn10: write error: No space left on device
stdout_closed||>&-|1||||isbn10: write error: Bad file descriptor
stdout_read_only||1</dev/null|1||||isbn10: write error: Bad file descriptor
stdin_closed||<&-|0|sjis||error|
CASES
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

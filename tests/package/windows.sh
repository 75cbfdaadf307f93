#!/usr/bin/env bash
# The Windows release files as a user gets them. Every checksum holds. The zip
# holds exactly the program and its two read-mes; its program is a stripped
# 32-bit console program with ASLR, DEP and a version resource, and answers
# under Wine. The installer, run silently in a fresh prefix, installs that
# program, a Start menu entry and an uninstall entry; the installed program
# answers. The same build packed as the next version installs over it: the
# installed version is removed first, one uninstall entry and one Start menu
# entry are left, and the program answers. The uninstaller, run silently,
# leaves none of them behind.
# Usage: windows.sh PACKAGES_DIR VERSION RUNNER WINDRES OBJDUMP CPACK
set -u
here=$(cd "$(dirname "$0")" && pwd)
version=$2 runner=$3 windres=$4 objdump=$5 cpack=$6 top=isbn10-$version-win32
cd "$1" || exit 1
. "$here/common.sh" "$top.exe" "$top.zip"
export WINEPREFIX=$tmp/prefix WINE_RUN_PERSIST=5
trap '"$runner" --wait; rm -rf "$tmp"' EXIT

[ "$(unzip -Z1 "$top.zip" | sort)" = "$(printf "$top/%s\n" README.ja.txt README.txt isbn10.exe)" ] ||
    fail "files of $top.zip: $(unzip -Z1 "$top.zip")"
unzip -q "$top.zip" -d "$tmp"
# Notepad of every Windows version reads them right: CR LF, UTF-8 with a BOM.
for readme in README.txt README.ja.txt; do
    ! LC_ALL=C grep -q -v $'\r$' "$tmp/$top/$readme" || fail "$readme: a line without CR LF"
    [ "$(head -c 3 "$tmp/$top/$readme")" = $'\xEF\xBB\xBF' ] &&
        iconv -f UTF-8 -t UTF-16 "$tmp/$top/$readme" >/dev/null || fail "$readme: not UTF-8 with a BOM"
done

exe=$tmp/$top/isbn10.exe
# name | command | what its output must hold
while IFS='|' read -r name command pattern; do
    $command "$exe" 2>&1 | grep -qF "$pattern" || fail "$name: no '$pattern' in $command"
done <<CHECKS
32-bit console program|file -b|PE32 executable (console) Intel 80386
file version|$windres -O rc -i|VALUE "FileVersion", "$version"
product version|$windres -O rc -i|VALUE "ProductVersion", "$version"
product name|$windres -O rc -i|VALUE "ProductName", "isbn10"
original file name|$windres -O rc -i|VALUE "OriginalFilename", "isbn10.exe"
ASLR|$objdump -p|DYNAMIC_BASE
DEP|$objdump -p|NX_COMPAT
CHECKS
! "$objdump" -t "$exe" | grep -q '^\[' || fail "isbn10.exe has symbols"
bash "$e2e" --windows "$runner" "$exe" >"$tmp/log" || fail "isbn10.exe of the zip: $(head -n 12 "$tmp/log")"

c=$WINEPREFIX/drive_c
installed="$c/Program Files/isbn10"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/isbn10"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\isbn10'
vendor='HKLM\Software\isbn10 maintainers'
"$runner" "$top.exe" /S || fail "installer: status $?"
cmp -s "$installed/isbn10.exe" "$exe" || fail "installed isbn10.exe is not the zip's"
grep -qaF 'C:\Program Files\isbn10\isbn10.exe' "$menu/isbn10.lnk" || fail "no Start menu entry for isbn10.exe"
"$runner" reg query "$key" | grep -qE "DisplayVersion +REG_SZ +$version" || fail "no uninstall entry"
bash "$e2e" --windows "$runner" "$installed/isbn10.exe" >"$tmp/log" || fail "installed isbn10.exe: $(head -n 12 "$tmp/log")"

# The upgrade. A value that only this install has shows that its own
# uninstaller ran before the next version's files went in.
next=$version.1
(umask 022 && "$cpack" -G NSIS -R "$next" -D "CPACK_NSIS_DISPLAY_NAME=isbn10 $next" \
    -D "CPACK_PACKAGE_FILE_NAME=isbn10-$next-win32" --config "$PWD/../CPackConfig.cmake" \
    -B "$tmp/next") >"$tmp/log" 2>&1 || fail "cpack as $next: $(tail -n 5 "$tmp/log")"
"$runner" reg add "$key" /v Before /d "$version" /f >/dev/null
"$runner" "$tmp/next/isbn10-$next-win32.exe" /S || fail "installer of $next over $version: status $?"
"$runner" --wait
! "$runner" reg query "$key" /v Before >/dev/null 2>&1 || fail "$version not uninstalled before $next"
entries=$("$runner" reg query "${key%\\*}" /s | grep 'DisplayName .*isbn10' | tr -s ' \r' ' ')
[ "$entries" = " DisplayName REG_SZ isbn10 $next " ] || fail "uninstall entries after the upgrade: $entries"
shortcuts=$(cd "$c/ProgramData/Microsoft/Windows/Start Menu" && find . -name '*.lnk' | sort | tr '\n' ' ')
[ "$shortcuts" = "./Programs/isbn10/Uninstall.lnk ./Programs/isbn10/isbn10.lnk " ] ||
    fail "Start menu after the upgrade: $shortcuts"
bash "$e2e" --windows "$runner" "$installed/isbn10.exe" >"$tmp/log" || fail "upgraded isbn10.exe: $(head -n 12 "$tmp/log")"

"$runner" 'C:\Program Files\isbn10\Uninstall.exe' /S || fail "uninstaller: status $?"
# The uninstaller hands its work to a copy of itself and returns at once; the
# server ends only once that copy, like every program of the prefix, has.
"$runner" --wait
for path in "$installed" "$menu"; do
    [ ! -e "$path" ] || fail "left after uninstall: $path"
done
for k in "$key" "$vendor"; do
    ! "$runner" reg query "$k" >/dev/null 2>&1 || fail "left after uninstall: $k"
done
passed "$top.exe" "$top.zip"

#!/usr/bin/env bash
# The Linux release files as a user gets them. Every checksum holds. The
# Debian package installs into a throwaway root whose database holds this
# machine's packages that it depends on, so dpkg checks the dependencies;
# the installed program answers from PATH, hardened and stripped, its manual
# pages are where man looks, and dpkg -r leaves nothing.
# The tarball holds the same files under its versioned folder, with a static
# program that answers as the only file of an empty root. Programs for
# another architecture run under the emulator. On 32-bit ARM the .deb holds
# the static program too, and tells lintian why.
# Usage: linux.sh PACKAGES_DIR NM [EMULATOR...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
nm=$2 emulator=("${@:3}")
cd "$1" || exit 1
deb=$(echo *.deb) tgz=$(echo *.tar.gz)
. "$here/common.sh" "$deb" "$tgz"

# What both hold, below /usr in the package and below the folder in the tarball.
files='bin/isbn10
share/doc/isbn10/changelog.gz
share/man/ja/man1/isbn10.1.gz
share/man/man1/isbn10.1.gz'
arch=$(dpkg-deb -f "$deb" Architecture)
# 32-bit ARM: the .deb holds the tarball's static program, which that C
# library links at a fixed address, with no dynamic section to bind.
arm32=0 deb_files=$files link='static-pie linked' depends='libc6 \(>= 2\.[0-9]+\)'
if [ "$arch" = armhf ]; then
    arm32=1 link='statically linked' depends=''
    deb_files=$(printf '%s\n' "$files" share/lintian/overrides/isbn10 | sort)
fi

root=$tmp/root db=$tmp/root/var/lib/dpkg
mkdir -p "$db/info" "$db/updates"
: >"$db/status"
printf '%s\n' "$(dpkg --print-architecture)" "$arch" | sort -u >"$db/arch"
for dep in $(dpkg-deb -f "$deb" Depends | sed -E 's/\([^)]*\)|\|[^,]*//g; s/,/ /g'); do
    dpkg-query -s "$dep:$arch" >>"$db/status" && echo >>"$db/status"
    touch "$db/info/$dep:$arch.list" # its files are this machine's business
done
dpkg --root="$root" -i "$deb" >"$tmp/log" 2>&1 || fail "dpkg -i: $(cat "$tmp/log")"
[ "$(cd "$root/usr" && find . -type f | cut -c3- | sort)" = "$deb_files" ] || fail "files of $deb"
export PATH=$root/usr/bin:$PATH
[ "$(command -v isbn10)" = "$root/usr/bin/isbn10" ] || fail "isbn10 not on PATH"
bash "$e2e" "${emulator[@]}" "$(command -v isbn10)" >"$tmp/log" || fail "installed isbn10: $(head -n 12 "$tmp/log")"
for lang in C.UTF-8 ja_JP.UTF-8; do
    dir=$([ "$lang" = C.UTF-8 ] || echo "${lang%%_*}/")
    [ "$(LC_ALL=$lang man -w isbn10)" = "$root/usr/share/man/${dir}man1/isbn10.1.gz" ] ||
        fail "man -w isbn10 with $lang: $(LC_ALL=$lang man -w isbn10 2>&1)"
done

top=${tgz%.tar.gz}
[ "$(tar tzf "$tgz" | grep -v '/$' | sort)" = "$(sed "s|^|$top/|" <<<"$files")" ] ||
    fail "files of $tgz: $(tar tzf "$tgz")"
tar xzf "$tgz" -C "$tmp"
# What file(1) calls each architecture of ours.
declare -A machine=([amd64]=x86-64 [arm64]='ARM aarch64' [armhf]=ARM)
[[ $(dpkg-deb -f "$deb" Depends) =~ ^$depends$ ]] || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
((arm32)) && ! cmp -s "$root/usr/bin/isbn10" "$tmp/$top/bin/isbn10" && fail "$deb: not the tarball's program"
# The tarball's program is the same objects linked statically: the stack
# protector and fortified calls, checked in the package's, are inside it.
# file | on 32-bit ARM too | name | command | what its output must hold
while IFS='|' read -r file arm name command pattern; do
    ((arm32)) && [ "$arm" = no ] && continue
    [ "$file" = deb ] && program=$root/usr/bin/isbn10 || program=$tmp/$top/bin/isbn10
    $command "$program" 2>&1 | grep -qE "$pattern" || fail "$file: $name: no '$pattern' in $command"
done <<CHECKS
deb|no|built for $arch|file -b|${machine[$arch]-none}, .* dynamically linked
deb|no|position independent|readelf -h|Type: +DYN
deb|no|read-only relocations|readelf -lW|GNU_RELRO
deb|no|bound at start|readelf -d|BIND_NOW
deb|no|stack protector|$nm -D|__stack_chk_fail
deb|no|fortified|$nm -D|__printf_chk
deb|no|stripped|$nm|no symbols
tgz|yes|static, no program interpreter|file -b|${machine[$arch]-none}, .* $link
tgz|no|position independent|readelf -h|Type: +DYN
tgz|yes|read-only relocations|readelf -lW|GNU_RELRO
tgz|no|bound at start|readelf -d|BIND_NOW
tgz|yes|stripped|$nm|no symbols
CHECKS

# Alone in an empty root, with only the emulator beside it where one is needed.
alone=$tmp/alone
install -D "$tmp/$top/bin/isbn10" "$alone/isbn10"
run=(chroot "$alone")
if ((${#emulator[@]})); then
    cp "${emulator[0]}" "$alone/emulator"
    run+=(/emulator "${emulator[@]:1}")
fi
[ "$(id -u)" = 0 ] || run=(unshare --map-root-user "${run[@]}")
bash "$e2e" "${run[@]}" /isbn10 >"$tmp/log" || fail "$top/bin/isbn10 alone: $(head -n 12 "$tmp/log")"

dpkg --root="$root" -r isbn10 >"$tmp/log" 2>&1 || fail "dpkg -r: $(cat "$tmp/log")"
left=$(find "$root" -mindepth 1 -path "$root/var" -prune -o -print)
[ -z "$left" ] || fail "left after dpkg -r: $left"
passed "$deb" "$tgz"

#!/usr/bin/env bash
# Builds and packs the last commit twice, from two fresh clones at different
# paths, at different times, under different umasks, time zones and locales
# (and, when run as root, as different users), and compares every release
# file byte for byte. On a difference it names the file and the members of it
# that differ; diffoscope, where installed, shows where.
# Usage: reproducible.sh [PRESET...]    (default: release windows)
set -euo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
presets=("$@")
((${#presets[@]})) || presets=(release windows)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# build DIR UMASK TZ LANG [USER]: a clone of the last commit in DIR, and the
# release files of each preset, built without the tests.
build() {
    local dir=$1 mask=$2 tz=$3 lang=$4 user=${5-} run=()
    mkdir -p "$(dirname "$dir")"
    git clone -q --no-hardlinks "$repo" "$dir"
    if [ -n "$user" ]; then
        chown -R "$user" "$dir"
        run=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env HOME="$dir")
    fi
    echo "+ $dir: umask $mask, TZ=$tz${user:+, user $user}"
    (
        cd "$dir"
        umask "$mask"
        export TZ=$tz LANG=$lang
        for preset in "${presets[@]}"; do
            "${run[@]}" cmake --preset "$preset" -DBUILD_TESTING=OFF
            "${run[@]}" cmake --build --preset "$preset" --target release_files
        done
    ) >"$dir.log" 2>&1 || { tail -n 40 "$dir.log"; exit 1; }
}

other=
if [ "$(id -u)" = 0 ]; then
    other=nobody
fi
build "$work/a" 022 UTC C.UTF-8
build "$work/second/clone/b" 077 Asia/Tokyo ja_JP.UTF-8 "$other"

# listing FILE: an archive's members with their modes, owners and times.
listing() {
    case $1 in
    *.zip) zipinfo -v "$1" ;;
    *.tar.gz) tar tvzf "$1" --full-time ;;
    *.deb) dpkg-deb -I "$1" && dpkg-deb -c "$1" ;;
    esac
}
# unpack FILE DIR
unpack() {
    mkdir -p "$2"
    case $1 in
    *.zip) unzip -q "$1" -d "$2" ;;
    *.tar.gz) tar xzf "$1" -C "$2" ;;
    *.deb) dpkg-deb -R "$1" "$2" ;;
    esac
}

failed=0
for preset in "${presets[@]}"; do
    a=$work/a/build/$preset/packages
    b=$work/second/clone/b/build/$preset/packages
    files=$(cd "$a" && find . -maxdepth 1 -type f -printf '%f\n' | sort)
    if [ -z "$files" ] || [ "$files" != "$(cd "$b" && find . -maxdepth 1 -type f -printf '%f\n' | sort)" ]; then
        echo "FAIL: $preset: not the same release files"
        failed=1
        continue
    fi
    for f in $files; do
        if cmp -s "$a/$f" "$b/$f"; then
            echo "same: $(cd "$a" && sha256sum "$f")"
            continue
        fi
        failed=1
        echo "FAIL: $preset: $f differs"
        diff <(listing "$a/$f") <(listing "$b/$f") | head -n 20
        unpack "$a/$f" "$work/unpacked/a/$f" && unpack "$b/$f" "$work/unpacked/b/$f" &&
            diff -rq "$work/unpacked/a/$f" "$work/unpacked/b/$f"
        if command -v diffoscope >/dev/null; then
            diffoscope "$a/$f" "$b/$f" | head -n 60
        fi
    done
done
[ "$failed" -eq 0 ]

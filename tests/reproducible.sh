#!/usr/bin/env bash
# Builds and packs the last commit twice, from two fresh clones at different
# paths, at different times, under different umasks, time zones and locales
# (and, when run as root, as different users), and compares every release
# file byte for byte. On a difference it names the file and the members of it
# that differ; diffoscope, where installed, shows where.
# Usage: reproducible.sh [PRESET...]    (default: release release-arm64 release-arm windows)
set -euo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
presets=("$@")
((${#presets[@]})) || presets=(release release-arm64 release-arm windows)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# build DIR UMASK TZ LANG [USER]: a clone of the last commit in DIR, and the
# release files of each preset, built without the tests.
build() {
    local dir=$1 mask=$2 tz=$3 lang=$4 user=${5-} run=()
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

other=$([ "$(id -u)" != 0 ] || echo nobody)
build "$work/a" 022 UTC C.UTF-8
build "$work/second/clone/b" 077 Asia/Tokyo ja_JP.UTF-8 "$other"

# members FILE DIR: an archive unpacked in DIR, and in DIR.txt its members
# with their modes, owners and times.
members() {
    mkdir -p "$2"
    case $1 in
    *.zip) zipinfo -v "$1" | tail -n +2 >"$2.txt" && unzip -q "$1" -d "$2" ;;
    *.tar.gz) tar tvzf "$1" --full-time >"$2.txt" && tar xzf "$1" -C "$2" ;;
    *.deb) { ar tv "$1" && dpkg-deb -c "$1"; } >"$2.txt" && dpkg-deb -R "$1" "$2" ;;
    *) return 1 ;;
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
        if members "$a/$f" "$work/a.$f" && members "$b/$f" "$work/b.$f"; then
            diff "$work/a.$f.txt" "$work/b.$f.txt" | head -n 20
            diff -rq "$work/a.$f" "$work/b.$f"
        fi || true
        if command -v diffoscope >/dev/null; then
            diffoscope "$a/$f" "$b/$f" | head -n 60 || true
        fi
    done
done
[ "$failed" -eq 0 ]

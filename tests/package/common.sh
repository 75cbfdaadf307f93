# What the tests of both platforms' release files share, sourced in the
# folder of the release files with their names: the end-to-end script, a
# temporary folder, fail, each file there with its checksum, and passed
# NAMES, which ends the test with its verdict.
# Usage: . common.sh FILE...
e2e=$(cd "$(dirname "${BASH_SOURCE[0]}")/../dialogue" && pwd)/e2e.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
passed() { [ "$failed" -eq 0 ] && echo "release files pass: $*"; exit "$failed"; }
for f; do
    [ -f "$f" ] || { echo "no release files in $PWD: build the target release_files"; exit 1; }
    [ -f "$f.sha256" ] && sha256sum --quiet -c "$f.sha256" || fail "checksum of $f"
done

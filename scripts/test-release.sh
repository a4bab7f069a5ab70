#!/usr/bin/env bash
# Checks that a release can be made by anyone from a clean clone, and made again to the same
# bytes:
#   1. scripts/release.sh in a fresh clone of this repository's HEAD, with nothing built;
#   2. the same in a second clone, in another folder, later, in another time zone and with
#      another umask: its dist/ must be byte for byte the first one's, SHA256SUMS included;
#   3. release.sh refuses a tree with uncommitted changes (an untracked file, then a changed
#      tracked one), with exit code 1, and leaves dist/ as it was.
# The first clone's dist/ is copied to this tree's dist/. Only committed work is released:
# uncommitted changes here are not in the clones. Installs what is missing (as root).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "   FAIL  $*" >&2
    exit 1
}

# Usage: release_in FOLDER UMASK TIME_ZONE: clones HEAD into FOLDER and releases there, with
# the commit's time as SOURCE_DATE_EPOCH (the default).
release_in() {
    local folder=$1
    git clone -q --no-hardlinks "$root" "$folder"
    (cd "$folder" && umask "$2" && TZ=$3 env -u SOURCE_DATE_EPOCH bash scripts/release.sh \
        >"$folder.log" 2>&1) || {
        cat "$folder.log" >&2
        fail "scripts/release.sh failed in a fresh clone ($folder; log above)"
    }
    echo "   ok    released from a fresh clone in $folder"
}

echo "== Releasing from a fresh clone, twice, in different folders and at different times"
release_in "$work/first" 022 UTC
sleep 1
release_in "$work/second clone" 077 Pacific/Kiritimati
sed 's/^/   /' "$work/first/dist/SHA256SUMS"
if ! diff -r "$work/first/dist" "$work/second clone/dist" >"$work/diff.txt"; then
    cat "$work/diff.txt" >&2
    fail "two releases of $(git rev-parse --short HEAD) differ"
fi
echo "   ok    the two releases are byte for byte the same, SHA256SUMS included"

echo "== release.sh refuses a tree with uncommitted changes"
before=$(cat "$work/first/dist/SHA256SUMS")
for change in "touch stray-file" "echo >>README.md"; do
    code=0
    (cd "$work/first" && eval "$change" && bash scripts/release.sh) >"$work/dirty.log" 2>&1 ||
        code=$?
    if [ "$code" -ne 1 ] || ! grep -q "uncommitted changes" "$work/dirty.log"; then
        fail "after '$change', release.sh gave exit code $code: $(cat "$work/dirty.log")"
    fi
    [ "$(cat "$work/first/dist/SHA256SUMS")" = "$before" ] ||
        fail "after '$change', the refused release changed dist/"
    echo "   ok    refused after '$change' (exit code 1), dist/ untouched"
done

rm -rf dist
cp -r "$work/first/dist" dist
echo "== The release files are in dist/ (check them: cd dist && sha256sum -c SHA256SUMS)"

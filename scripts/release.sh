#!/usr/bin/env bash
# Makes the release files of the version in CMakeLists.txt's project() into dist/:
#   velmot-<version>-win64.zip            the desktop Windows program (mingw-w64)
#   velmot-<version>-pocketpc-arm.cab     the Pocket PC installation cabinet
#   velmot-<version>-pocketpc-arm.zip     the Pocket PC program to copy by hand
#   SHA256SUMS                            their SHA-256 sums, checked with sha256sum -c
# Each is built afresh in build/release/ from the committed sources. It refuses to run on a
# tree with uncommitted changes (tracked or untracked files) unless given --allow-dirty.
# The files depend only on the commit: every time stamp in them is SOURCE_DATE_EPOCH, which
# defaults to the commit's time, so a release made again from the same commit, anywhere and
# at any time, has the same SHA256SUMS. Works on a fresh clone with nothing built, and
# installs what is missing (as root, with apt-get).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
source scripts/build.sh

allow_dirty=0
for argument in "$@"; do
    case "$argument" in
    --allow-dirty) allow_dirty=1 ;;
    -h | --help)
        sed -n '2,12s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    *)
        echo "release.sh: unknown argument '$argument' (only --allow-dirty)" >&2
        exit 2
        ;;
    esac
done

version=$(sed -n 's/^project(Velmot VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
    echo "release.sh: no version in CMakeLists.txt's project(Velmot VERSION ...)" >&2
    exit 1
fi
if ! grep -q "^## $version " CHANGELOG.md; then
    echo "release.sh: CHANGELOG.md has no section '## $version ...' for this version" >&2
    exit 1
fi
changes=$(git status --porcelain)
if [ -n "$changes" ]; then
    if [ "$allow_dirty" -eq 0 ]; then
        echo "release.sh: the tree has uncommitted changes; commit them, or pass --allow-dirty:" >&2
        echo "$changes" >&2
        exit 1
    fi
    echo "== Warning: releasing from a tree with uncommitted changes (--allow-dirty)"
fi
need_packages "${DEVICE_PACKAGES[@]}" g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

echo "== Velmot $version at commit $(git rev-parse --short HEAD), built afresh in build/release/"
echo "   with SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
rm -rf build/release dist
mkdir -p build/release
for preset in windows device; do
    echo "== Building the $preset packages (cmake --preset $preset, target package)"
    cmake --preset "$preset" -B "build/release/$preset" >"build/release-$preset.log" 2>&1 &&
        cmake --build "build/release/$preset" --target package >>"build/release-$preset.log" 2>&1 || {
        cat "build/release-$preset.log" >&2
        echo "release.sh: the $preset build failed (log above, in build/release-$preset.log)" >&2
        exit 1
    }
done

mkdir -p dist
files=("velmot-$version-win64.zip" "velmot-$version-pocketpc-arm.cab"
    "velmot-$version-pocketpc-arm.zip")
cp "build/release/windows/${files[0]}" "build/release/device/${files[1]}" \
    "build/release/device/${files[2]}" dist/
(cd dist && sha256sum "${files[@]}" >SHA256SUMS)
echo "== dist/:"
(cd dist && ls -l "${files[@]}" SHA256SUMS | awk '{print "   " $5 "\t" $9}')
echo "== Checking the sums (sha256sum -c dist/SHA256SUMS)"
(cd dist && sha256sum -c SHA256SUMS)

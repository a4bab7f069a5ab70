#!/usr/bin/env bash
# Builds velmot.exe for the device (Pocket PC, Windows CE 3.0, ARM; `device` preset, Debian's
# arm-none-eabi toolchain and cmake/ce_image.py) and checks the image with pefile
# (tests/device/check_image.py):
# what a Pocket PC 2002 loader needs, the libraries and names it imports, and the resources,
# against those that the host build compiles; and that resources/make_icon.py still draws the
# committed icons byte for byte. Then it makes the packages (the installation cabinet and the
# ZIP) and checks them with cabextract and a reader of the set-up file
# (tests/device/check_package.py). It also checks the runner's own reader of device images
# against pefile (tests/device/check_reader.py). The image's ARM code runs in the host tests
# (scripts/test.sh gives them this image). It also builds velmot_divergent.exe, the program with
# one planted difference, against which scripts/test.sh checks that the differential run
# catches a divergence; and it checks that the image checks and the runner's loader refuse
# images that the writer got wrong in each way it could (tests/device/check_writer.py).
# Installs what is missing (as root, with apt-get).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
source scripts/build.sh

need_packages "${DEVICE_PACKAGES[@]}"

echo "== Building the device preset: velmot.exe for Pocket PC (ARM)"
build_preset device
exe=build/device/velmot.exe
# The same program with one planted difference, which the differential run must catch.
cmake --build --preset device --target velmot_divergent >/dev/null
report_size "$exe" 16 "velmot.exe (device)"

# The resources that the host build compiles, against which the image's are compared, and
# the host build's image_dump, which prints what the runner reads from an image.
echo "== Building the host build's resources and image_dump to compare with"
cmake --preset host >/dev/null
cmake --build --preset host --target velmot_emulator image_dump >/dev/null
/usr/bin/python3 tests/device/check_image.py "$exe" build/host/velmot.res \
    platform/platform_api.h

/usr/bin/python3 tests/device/check_reader.py build/host/image_dump "$exe"

/usr/bin/python3 tests/device/check_writer.py build/device/velmot.dir/velmot.elf \
    build/device/velmot.res build/host/velmot.res build/host/image_dump platform/platform_api.h

# The committed icons against what their generator draws now. It writes beside itself, so a
# copy of it draws into a temporary folder.
echo "== Checking that resources/make_icon.py draws the committed icons"
icons=$(mktemp -d)
trap 'rm -rf "$icons"' EXIT
cp resources/make_icon.py "$icons/"
/usr/bin/python3 "$icons/make_icon.py" >/dev/null
stale=0
for icon in velmot.ico velmot_desktop.ico; do
    if cmp -s "$icons/$icon" "resources/$icon"; then
        echo "   ok    resources/$icon is what it draws"
    else
        echo "   FAIL  resources/$icon is not what it draws (python3 resources/make_icon.py)"
        stale=1
    fi
done
[ "$stale" -eq 0 ]

echo "== Building the device packages (cmake --build --preset device --target package)"
cmake --build --preset device --target package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/device/CMakeCache.txt)
/usr/bin/python3 tests/device/check_package.py "build/device/velmot-$version-pocketpc-arm.cab" \
    "build/device/velmot-$version-pocketpc-arm.zip" "$exe" "$version"

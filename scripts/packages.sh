# shellcheck shell=bash disable=SC2034 # the lists are used by the scripts that source this
# Sourced by the other scripts: installs Debian packages that are missing, saying which.
# Usage: need_packages name...
need_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "==> Installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What the host build needs: compilers, CMake, GoogleTest, the resource compiler, clang with
# libFuzzer for the fuzz target, Unicorn, the ARM processor of the runner of device images,
# ncurses for the emulated device's screen in a terminal, and tmux, in which its test runs it;
# for its screen in pixels cairo, FreeType, libpng (found with pkgconf) and Wine's Tahoma.
# For the web front-end, cpp-httplib and nlohmann's JSON.
SCREEN_PACKAGES=(pkgconf libcairo2-dev libfreetype-dev libpng-dev fonts-wine)
WEB_PACKAGES=(libcpp-httplib-dev nlohmann-json3-dev)
HOST_PACKAGES=(cmake make g++ clang libclang-rt-dev libgtest-dev clang-format
    binutils-mingw-w64-x86-64 libunicorn-dev libncurses-dev tmux "${SCREEN_PACKAGES[@]}"
    "${WEB_PACKAGES[@]}")

# What the browser tests of the web front-end need besides Node.js: Debian's Chromium, which
# Playwright drives.
BROWSER_TEST_PACKAGES=(chromium)

# What the device program's build needs: Debian's ARM cross compiler and binutils, the
# resource compiler, and pyelftools (Debian's python3-pyelftools, for /usr/bin/python3), with
# which cmake/ce_image.py reads the linked program to write the Windows CE image.
DEVICE_BUILD_PACKAGES=(cmake make gcc-arm-none-eabi binutils-arm-none-eabi
    binutils-mingw-w64-x86-64 python3 python3-pyelftools)

# What scripts/run.sh needs to build the emulated device's front-ends (the terminal, the
# pictures, the web) and the device program.
RUN_PACKAGES=(g++ libgtest-dev libunicorn-dev libncurses-dev "${SCREEN_PACKAGES[@]}"
    "${WEB_PACKAGES[@]}" "${DEVICE_BUILD_PACKAGES[@]}")

# What the Windows build and its runs under Wine need: the mingw-w64 cross compiler and
# resource compiler, pefile (Debian's python3-pefile, for /usr/bin/python3) for the step after
# the link and the image's check, 64-bit Wine, a virtual display, and unzip to look into the
# package.
WINDOWS_PACKAGES=(cmake g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 python3 python3-pefile
    wine wine64 xvfb xauth unzip)

# What the device build, its packages and their checks need: the build's own packages, pefile
# to read the image (Debian's python3-pefile, for /usr/bin/python3), gcab to make the cabinet
# and cabextract to read it back.
DEVICE_PACKAGES=("${DEVICE_BUILD_PACKAGES[@]}" python3-pefile gcab cabextract)

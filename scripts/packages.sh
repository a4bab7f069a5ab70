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
# ncurses for the emulated device's screen in a terminal, and tmux, in which its test runs it.
HOST_PACKAGES=(cmake make g++ clang libclang-rt-dev libgtest-dev clang-format
    binutils-mingw-w64-x86-64 libunicorn-dev libncurses-dev tmux)

# What scripts/run.sh needs to build the emulated device's console and the host build, and,
# with the device toolchain, the libraries that CeGCC's compilers load.
RUN_PACKAGES=(cmake make g++ libgtest-dev binutils-mingw-w64-x86-64 libunicorn-dev
    libncurses-dev)
DEVICE_RUN_PACKAGES=(libgmp10 libmpfr6)

# What the Windows build and its runs under Wine need: the mingw-w64 cross compiler and
# resource compiler, pefile (Debian's python3-pefile, for /usr/bin/python3) for the step after
# the link and the image's check, 64-bit Wine, a virtual display, and unzip to look into the
# package.
WINDOWS_PACKAGES=(cmake g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 python3 python3-pefile
    wine wine64 xvfb xauth unzip)

# What the device build, its packages and their checks need: CMake, the libraries that
# CeGCC's compilers load, pefile to read the image (Debian's python3-pefile, for
# /usr/bin/python3), gcab to make the cabinet and cabextract to read it back.
DEVICE_PACKAGES=(cmake libgmp10 libmpfr6 python3 python3-pefile gcab cabextract)

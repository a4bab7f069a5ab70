#!/usr/bin/env bash
# Builds everything and runs every test, installing what is missing first:
#   1. the formatting check (clang-format),
#   2. the host build (the program on the emulated device) and its tests, with g++,
#   3. the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#   4. the command-line fuzz target (libFuzzer, clang) for a bounded time,
#   5. the benchmark report of a simulated day,
#   6. the device build (Pocket PC, CeGCC arm-mingw32ce) and the checks of its image, when
#      the toolchain is found (CEGCC_ROOT, /opt/mingw32ce or PATH; skipped, saying so, if not),
#   7. the Windows build (mingw-w64) and its end-to-end tests under Wine.
# Stops at the first failure with a non-zero exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

FUZZ_SECONDS=${VELMOT_FUZZ_SECONDS:-30}
JOBS=$(nproc)

step() {
    echo
    echo "==> $*"
}

need_packages "${HOST_PACKAGES[@]}"

step "Checking the formatting of the sources"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in host host-asan; do
    step "Building and testing the '$preset' preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$JOBS"
    ctest --preset "$preset" -j "$JOBS"
done

step "Fuzzing the command-line parser for ${FUZZ_SECONDS} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS"
mkdir -p build/fuzz/corpus
build/fuzz/fuzz_command_line -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
    build/fuzz/corpus 2>&1 | tail -n 12

step "Benchmark: one simulated day on the emulated device (a report, not a test)"
build/host/velmot_bench

step "Device build (Pocket PC, ARM) and the checks of its image"
scripts/test-device.sh

step "Windows build and end-to-end tests under Wine"
scripts/test-windows.sh

echo
echo "==> All builds and tests passed."

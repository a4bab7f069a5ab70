#!/usr/bin/env bash
# Builds everything and runs every test, installing what is missing first:
#   1. the formatting check (clang-format),
#   2. the device build (Pocket PC, Debian's arm-none-eabi toolchain and the project's image
#      writer) and the checks of its image and packages; the image is then handed to the
#      host tests (VELMOT_DEVICE_IMAGE),
#      which run its ARM code through the scenarios as well, and so is the conformance
#      program built beside it (VELMOT_CONFORMANCE_IMAGE),
#   3. the host build (the program on the emulated device) and its tests, with g++,
#   4. the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#   5. the emulated Pocket PC's console as scripts/run.sh runs it (scripts/test-console.sh):
#      piped runs and the typical road in a terminal (tmux), on the device image and the host
#      build; then the README's pictures of the Pocket PC program made again from the device
#      image (scripts/pocketpc-pictures.sh --check), which must equal the committed ones;
#      then its web page (scripts/run.sh --web) in Debian's chromium driven by Playwright
#      (scripts/test-web.sh), on the device image and the host build,
#   6. with the device image: the differential run (random user stories on the host build
#      and on the image, which must leave the same outcomes), then the same against an image
#      with a planted divergence and against planted outcomes (another ending, other times),
#      each of which it must catch,
#   7. the command-line fuzz target (libFuzzer, clang) for a bounded time,
#   8. the benchmark report of a simulated day, on the host build and the device image, of
#      the console's idle load and key-to-screen time, of the screen in pixels (a frame, its
#      PNG, a night's countdown), and of the web page (a click's time to its frame, the idle
#      server's load),
#   9. the Windows build (mingw-w64) and its end-to-end tests under Wine.
# Stops at the first failure with a non-zero exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/build.sh

FUZZ_SECONDS=${VELMOT_FUZZ_SECONDS:-30}
JOBS=$(nproc)

step() {
    echo
    echo "==> $*"
}

need_packages "${HOST_PACKAGES[@]}"

step "Checking the formatting of the sources"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

step "Device build (Pocket PC, ARM) and the checks of its image"
scripts/test-device.sh
export VELMOT_DEVICE_IMAGE="$PWD/build/device/velmot.exe"
export VELMOT_CONFORMANCE_IMAGE="$PWD/build/device/conformance.exe"
echo "   The host tests run the scenarios on $VELMOT_DEVICE_IMAGE too, and the"
echo "   conformance program $VELMOT_CONFORMANCE_IMAGE"

for preset in host host-asan; do
    step "Building and testing the '$preset' preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$JOBS"
    ctest --preset "$preset" -j "$JOBS"
done

step "The emulated Pocket PC's console: piped runs and the typical road in a terminal (tmux)"
scripts/test-console.sh

step "The README's pictures of the Pocket PC program, made again from the device image"
scripts/pocketpc-pictures.sh --check

step "The emulated Pocket PC's web page in Chromium (Playwright): clicks, keys and refusals"
scripts/test-web.sh

step "Differential run: random user stories on the host build and on the device image"
build/host/velmot_differential --stories 2000 --seconds 40 --image "$VELMOT_DEVICE_IMAGE"

# Usage: must_differ LABEL ARGS...: the differential tool, run with ARGS, must report a
# difference (exit code 1), in every story when LABEL says "every".
must_differ() {
    local label=$1 log code=0
    shift
    log="build/host/differential-${label// /-}.log"
    build/host/velmot_differential "$@" >"$log" || code=$?
    local summary
    summary=$(tail -n 1 "$log")
    if [ "$code" -ne 1 ] || ! grep -q '^DIFFERENCE' "$log" ||
        { [[ $label == every* ]] && ! grep -q ' 0 passed, ' <<<"$summary"; }; then
        echo "   FAIL: $label: not caught (exit code $code; $summary; see $log)" >&2
        exit 1
    fi
    echo "   $label: caught, $(grep -m 1 '^DIFFERENCE' "$log"); $summary"
}

step "The differential tool against planted divergences"
# An image built with hours of 61 minutes in its waiting period; then each device-image
# outcome changed after the run: another ending after the same timeline, and the same lines
# with the last one a millisecond later.
must_differ "61-minute image" --seed 1 --stories 300 \
    --image "$PWD/build/device/velmot_divergent.exe"
must_differ "every planted ending" --seed 1 --stories 100 --image "$VELMOT_DEVICE_IMAGE" \
    --plant ending
must_differ "every planted time" --seed 1 --stories 100 --image "$VELMOT_DEVICE_IMAGE" \
    --plant times

step "Fuzzing the command-line parser for ${FUZZ_SECONDS} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS"
mkdir -p build/fuzz/corpus
build/fuzz/fuzz_command_line -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
    build/fuzz/corpus 2>&1 | tail -n 12

step "Benchmark: one simulated day on the emulated device (a report, not a test)"
build/host/velmot_bench

step "Benchmark: the console's idle load and how soon a key is on its screen (a report, not a test)"
scripts/bench-console.sh

step "Benchmark: the screen in pixels, a frame and its PNG, a night's countdown (a report, not a test)"
build/host/velmot_bench_screen

step "Benchmark: the web page, a click's time to its frame and the idle server (a report, not a test)"
scripts/test-web.sh --bench

step "Windows build and end-to-end tests under Wine"
scripts/test-windows.sh

echo
echo "==> All builds and tests passed."

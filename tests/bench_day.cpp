// Reports how long the emulated device takes to run the program through a whole day of
// checks: /W 24:0 started at midnight suspends after 8,640 ten-second checks. It does so for
// the host build and, when VELMOT_DEVICE_IMAGE names one, for the device image, whose ARM
// code runs on the emulated processor.
#include "emulator/device.h"
#include "test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Prints the best and mean time of a simulated day over rounds runs and answers the best,
// in milliseconds; false when a run did not end in a suspension at midnight.
bool SimulateDay(const test::Build& build, int rounds, double* best) {
    double total = 0;
    size_t checks = 0;
    *best = 1e12;
    for (int i = 0; i < rounds; ++i) {
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 0, 0, 0);
        const auto start = std::chrono::steady_clock::now();
        const int code = emu::RunProgram(build.entry, L"/W 24:0");
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        checks = emu::TimerMessages().size();
        if (code != 0 || emu::Keys().size() != 2 || emu::Keys()[0].time != emu::At(0, 0, 0, 1)) {
            std::fprintf(stderr, "%s: the simulated day did not end in a suspension at midnight\n",
                         build.name);
            return false;
        }
        *best = took.count() < *best ? took.count() : *best;
        total += took.count();
    }
    std::printf("simulated 24-hour countdown, %s: %zu checks, best %.2f ms, mean %.2f ms over %d "
                "runs\n",
                build.name, checks, *best, total / rounds, rounds);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    double hostBest = 0, imageBest = 0;
    if (rounds < 1 || !SimulateDay(test::HostBuild, rounds, &hostBest)) {
        return 1;
    }
    try {
        const std::string why = test::LoadDeviceImage();
        if (!why.empty()) {
            std::printf("device image not measured: %s\n", why.c_str());
            return 0;
        }
        if (!SimulateDay(test::DeviceImage, rounds, &imageBest)) {
            return 1;
        }
    } catch (const emu::Failure& failure) {
        std::fprintf(stderr, "device image: %s\n", failure.what());
        return 1;
    }
    std::printf("the device image takes %.0f times as long as the host build (best of each; "
                "goal: under 1 s a day)\n",
                imageBest / hostBest);
    return 0;
}

// Reports how long the emulated device takes to run the program through a whole day of
// checks: /W 24:0 started at midnight suspends after 8,640 ten-second checks.
#include "emulator/device.h"
#include "test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    double best = 1e9, total = 0;
    size_t checks = 0;
    for (int i = 0; i < rounds; ++i) {
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 0, 0, 0);
        const auto start = std::chrono::steady_clock::now();
        const int code = emu::RunProgram(MainEntry, L"/W 24:0");
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        checks = emu::TimerMessages().size();
        if (code != 0 || emu::Keys().size() != 2 || emu::Keys()[0].time != emu::At(0, 0, 0, 1)) {
            std::fprintf(stderr, "the simulated day did not end in a suspension at midnight\n");
            return 1;
        }
        best = took.count() < best ? took.count() : best;
        total += took.count();
    }
    std::printf(
        "simulated 24-hour countdown: %zu checks, best %.2f ms, mean %.2f ms over %d runs\n",
        checks, best, total / rounds, rounds);
    return 0;
}

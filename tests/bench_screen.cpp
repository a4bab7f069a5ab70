// Reports (not a test) what the emulated Pocket PC's screen in pixels costs (emulator/screen):
//   - the time to draw one frame of 240 x 320 (the settings dialog with the input panel's
//     keyboard, the busiest screen) and to write it as a PNG file; goal: each under 2 ms;
//   - a night's countdown (/W 8:0) looked at as the console looks at it at x600: at every
//     check of the program and every change of the minute; how many frames it draws (only
//     those in which something changed: the clock's minute) and what that costs at x600.
// On the device image when VELMOT_DEVICE_IMAGE names one, else on the host build.
#include "emulator/screen/screen.h"
#include "shell/main_window.h"
#include "test_support.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration took) {
    return std::chrono::duration<double, std::milli>(took).count();
}

// The median and the worst of a set of times.
std::string Spread(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    char text[96];
    std::snprintf(text, sizeof(text), "median %.3f ms, worst %.3f ms over %zu",
                  times[times.size() / 2], times.back(), times.size());
    return text;
}

void FrameAndPng(const test::Build& build, emu::screen::Renderer& screen) {
    test::FreshDevice();
    emu::SetClock(2002, 10, 7, 21, 10, 40);
    std::vector<double> draws, encodes, pngs;
    const std::string file = "/tmp/velmot-bench-frame-" + std::to_string(getpid()) + ".png";
    emu::Script(emu::At(21, 10, 41), "measure", [&] {
        for (int i = 0; i < 200; ++i) {
            screen.Invalidate();
            const auto start = Clock::now();
            screen.Draw();
            draws.push_back(Milliseconds(Clock::now() - start));
            const auto encoded = Clock::now();
            const std::vector<unsigned char> png = screen.Png();
            encodes.push_back(Milliseconds(Clock::now() - encoded));
            const auto written = Clock::now();
            screen.WritePng(file);
            pngs.push_back(Milliseconds(Clock::now() - written));
        }
    });
    emu::PressDone(emu::At(21, 10, 42));
    emu::SendToWindow(emu::At(21, 10, 43), MAIN_WINDOW_CLASS, MSG_QUIT_REQUEST, 0, 0);
    emu::RunProgram(build.entry, L"");
    std::remove(file.c_str());
    std::printf(
        "one frame of %d x %d (the dialog and the keyboard), drawn: %s (goal: under 2 ms)\n",
        screen.Width(), screen.Height(), Spread(draws).c_str());
    std::printf("the same encoded as PNG in memory: %s\n", Spread(encodes).c_str());
    std::printf("the same written as a PNG file: %s (goal: under 2 ms)\n", Spread(pngs).c_str());
}

// The console at x600 wakes for each of the program's checks and each minute of the clock,
// and draws then: here in virtual time, each wake timed.
void Night(const test::Build& build, emu::screen::Renderer& screen) {
    test::FreshDevice();
    emu::SetClock(2002, 10, 7, 22, 0, 0);
    int looks = 0;
    const int framesBefore = screen.Frames();
    double drawing = 0;
    emu::SetIdleHandler([&](emu::Millis next) {
        const auto start = Clock::now();
        screen.Draw();
        drawing += Milliseconds(Clock::now() - start);
        ++looks;
        const emu::Millis minute = (emu::Now() / 60000 + 1) * 60000;
        emu::AdvanceClock(next >= 0 && next < minute ? next : minute);
    });
    emu::RunProgram(build.entry, L"/W 8:0");
    emu::SetIdleHandler(nullptr);
    screen.Draw();
    const int frames = screen.Frames() - framesBefore;
    const double realSeconds = 8 * 3600 / 600.0;
    std::printf(
        "a night's countdown (/W 8:0) at x600, %.0f s: the screen looked at %d times (every "
        "check and minute), %d frames drawn (each minute's clock, the start, the display "
        "off), %.1f ms of drawing in all, %.3f %% of a core\n",
        realSeconds, looks, frames, drawing, drawing / 10 / realSeconds);
}

} // namespace

int main() {
    try {
        const std::string why = test::LoadDeviceImage();
        const test::Build& build = why.empty() ? test::DeviceImage : test::HostBuild;
        std::printf("(on the %s)\n", why.empty() ? "device image" : "host build");
        emu::screen::Renderer screen;
        FrameAndPng(build, screen);
        Night(build, screen);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_screen: %s\n", failure.what());
        return 1;
    }
    return 0;
}

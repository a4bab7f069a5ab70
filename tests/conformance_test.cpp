// The conformance program (tests/device/conformance.cpp, built by the device toolchain) run
// on the emulated device by the runner: its report, the debugger's lines in order, against
// what the device's COREDLL and AYGSHELL are documented to give for the values it passes.
#include "emulator/device.h"
#include "emulator/runner/runner.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Conformance, TheDevicesExportsGiveWhatTheyAreDocumentedToGive) {
    const char* path = std::getenv("VELMOT_CONFORMANCE_IMAGE");
    if (path == nullptr || *path == 0) {
        GTEST_SKIP() << "no conformance image: VELMOT_CONFORMANCE_IMAGE is not set "
                        "(scripts/test.sh sets it after the device build)";
    }
    emu::Reset();
    emu::SetClock(2026, 12, 8, 21, 10, 40, 250); // a Tuesday
    emu::runner::LoadProgram(path);
    EXPECT_EQ(emu::RunProgram(emu::runner::StartProgram, L""), 0);
    std::vector<std::string> report;
    for (const std::string& entry : emu::TimelineOf("debug: ")) {
        report.push_back(entry.substr(entry.find("debug: ") + 7));
    }
    const std::vector<std::string> expected = {
        "clock 2026-12-8 21:10:40.250 weekday 2",
        // The C library: padding up to the count and no further; no terminator when the
        // count is shorter; white space, sign, prefix, saturation, and no digits at all.
        "wcsncpy \"ab\" 5: 0x61 0x62 0x0 0x0 0x0 0x2A 0x2A 0x2A answers same",
        "wcsncpy \"abcdef\" 3: 0x61 0x62 0x63 0x2A 0x2A 0x2A 0x2A 0x2A answers same",
        "wcstol \"  -42x\" base 10: -42 end 5",
        "wcstol \"0x1F\" base 16: 31 end 4",
        "wcstol \"0x1F\" base 0: 31 end 4",
        "wcstol \"017\" base 0: 15 end 3",
        "wcstol \"3000000000\" base 10: 2147483647 end 10",
        "wcstol \"-3000000000\" base 10: -2147483648 end 11",
        "wcstol \"xyz\" base 10: 0 end 0",
        "mutex opened again: 1 error 183",
        "registered message same in range",
        // A window at 10,20 of 30 x 40: its create message, its rectangle (screen pixels).
        "create at 10,20 size 30x40",
        "create style 0x10C00000 ex style 0x8",
        "create name Conformance class VelmotConformance",
        "create param 0x13579BDF instance same",
        "window rect 10,20,40,60",
        "found window same",
        // A create message answered with -1: the window is destroyed, CreateWindowExW fails.
        "refusing window: create, answers -1",
        "refusing window: destroy",
        "refusing window: not created",
        // Posted messages and a timer, as retrieved (the pen in the middle of the screen) and
        // as dispatched; a sent message's negative result.
        "timer 42",
        "message 0x401 result 1 window same wParam 0x1234 lParam -22136 pt 120,160",
        "procedure 0x401 wParam 0x1234 lParam -22136",
        "message 0x402 result 1 window same wParam 0x89ABCDEF lParam 124076833 pt 120,160",
        "procedure 0x402 wParam 0x89ABCDEF lParam 124076833",
        "message 0x113 result 1 window same wParam 0x2A lParam 0 pt 120,160 after 1234 ms",
        "procedure 0x113 wParam 0x2A lParam 0",
        "timer killed 1",
        "procedure 0x403 wParam 0xFEDC lParam -2",
        "sent result -74565",
        // A modal dialog: the focus control and the init parameter, the edit's notifications
        // with its handle, numbers read signed and unsigned, the full-screen set-up.
        "init focus same param 0x8ACE1357",
        "command id 1001 code 0x300 control same",
        "GetDlgItemInt of \"-5\" signed -5 translated 1",
        "GetDlgItemInt of \"-5\" unsigned 0 translated 0",
        "command id 1001 code 0x300 control same",
        "GetDlgItemInt of \"4000000000\" signed 0 translated 0",
        "GetDlgItemInt of \"4000000000\" unsigned 4000000000 translated 1",
        "command id 1001 code 0x300 control same",
        "GetDlgItemInt of SetDlgItemInt's -7 signed -7 translated 1",
        "GetDlgItemInt of SetDlgItemInt's -7 unsigned 0 translated 0",
        "check box 1",
        "full screen 1 dialog rect 0,26,240,320",
        "command id 1001 code 0x100 control same",
        "dialog result 7",
        "window destroyed",
        "window alive 0",
        "message 0x12 result 0 window none wParam 0x3 lParam 0",
    };
    EXPECT_EQ(report, expected);
    // The class record as the emulated RegisterClassW took it, each field from its own place.
    EXPECT_EQ(emu::TimelineOf("class \"VelmotConformance\""),
              std::vector<std::string>{
                  "21:10:40.250 class \"VelmotConformance\" registered: style 0x8, extra bytes "
                  "4/12, icon none, cursor none, brush none, menu none"});
}

} // namespace

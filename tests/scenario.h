// The fixture of the whole-program scenarios: the program on the emulated device, started
// through its real entry point, with a scripted user and world. Each scenario runs on the
// host build and on the device image (its instances named "DeviceImage") and asserts on what
// the device observed; a look into the program's records, where one is still worth having,
// is a host-only check beside the observable one (OnHostBuild()).
#ifndef VELMOT_TESTS_SCENARIO_H
#define VELMOT_TESTS_SCENARIO_H

#include "emulator/device.h"
#include "shell/main.h"
#include "shell/main_window.h"
#include "shell/notify_icon.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace test {

using Lines = std::vector<std::string>;

class Scenario : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        if (!OnHostBuild()) {
            const std::string why = LoadDeviceImage();
            if (!why.empty()) {
                GTEST_SKIP() << why;
            }
        }
        FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
    }
    void TearDown() override {
        if (HasFailure()) {
            std::printf("Timeline:\n%s", emu::TimelineText().c_str());
        }
    }
    bool OnHostBuild() const {
        return GetParam().entry == HostBuild.entry;
    }
    // Runs the program and checks what every ending leaves behind: exit code 0, no icon,
    // no window, no timer, no menu.
    void RunToEnd(const std::wstring& commandLine) {
        EXPECT_EQ(emu::RunProgram(GetParam().entry, commandLine), 0);
        EXPECT_TRUE(emu::Icons().empty());
        EXPECT_TRUE(emu::TopLevelWindows().empty());
        EXPECT_TRUE(emu::Timers().empty());
        EXPECT_EQ(emu::LiveMenus(), 0);
    }
    void QuitAt(emu::Millis when) {
        emu::SendToWindow(when, MAIN_WINDOW_CLASS, MSG_QUIT_REQUEST, 0, 0);
    }
    void StartLater(emu::Millis when, const std::wstring& commandLine) {
        emu::StartSecondCopy(when, GetParam().laterStart, commandLine);
    }
    // The user opens the settings dialog from the icon's menu: a tap, then Set a second later.
    static void OpenSetAt(emu::Millis when) {
        emu::TapIcon(when);
        emu::ChooseMenuItem(when + 1000, IDM_SET);
    }
};

inline std::string BuildName(const ::testing::TestParamInfo<Build>& info) {
    return info.param.name;
}

} // namespace test

#define INSTANTIATE_SCENARIOS(fixture)                                                             \
    INSTANTIATE_TEST_SUITE_P(, fixture, ::testing::Values(test::HostBuild, test::DeviceImage),     \
                             test::BuildName)

#endif

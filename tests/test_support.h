// Small helpers shared by the tests that run on the emulated device.
#ifndef VELMOT_TESTS_TEST_SUPPORT_H
#define VELMOT_TESTS_TEST_SUPPORT_H

#include "emulator/device.h"
#include "emulator/runner/runner.h"
#include "schedule/schedule.h"
#include "shell/app_state.h"
#include "shell/main.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace test {

// The program's two records zero-filled, as at process start.
inline void ZeroRecords() {
    std::memset(&SuspendSchedule, 0, sizeof(SuspendSchedule));
    std::memset(&AppState, 0, sizeof(AppState));
}

// A fresh device, and the program's records as at process start.
inline void FreshDevice() {
    emu::Reset();
    ZeroRecords();
}

// A later start of the program as a separate process: records of its own, zero-filled,
// while the running copy's come back untouched when it ends.
inline int SeparateProcessEntry(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                                int showState) {
    const ScheduleRecord schedule = SuspendSchedule;
    const AppStateRecord app = AppState;
    ZeroRecords();
    const int code = MainEntry(instance, previousInstance, commandLine, showState);
    SuspendSchedule = schedule;
    AppState = app;
    return code;
}

// A build of the program that a scenario runs: the entry point of its first start and of
// every later start, each as a process of its own.
struct Build {
    const char* name;
    emu::EntryPoint entry;
    emu::EntryPoint laterStart;
};
// The program compiled for the host, calling the emulator directly.
inline const Build HostBuild{"HostBuild", MainEntry, SeparateProcessEntry};
// The device's velmot.exe, its ARM code run on the emulated device as its loader would.
inline const Build DeviceImage{"DeviceImage", emu::runner::StartProgram, emu::runner::StartProgram};

inline void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name;
}

// The device image that VELMOT_DEVICE_IMAGE names ("" when it names none), and why the
// image's tests are skipped without it.
inline std::string DeviceImagePath() {
    const char* path = std::getenv("VELMOT_DEVICE_IMAGE");
    return path != nullptr ? path : "";
}
inline const char* const NoDeviceImage =
    "no device image: VELMOT_DEVICE_IMAGE is not set (scripts/test.sh sets it after the "
    "device build)";

// Loads the device image as the program to start; answers why not when there is none (a
// refused image throws emu::Failure).
inline std::string LoadDeviceImage() {
    const std::string path = DeviceImagePath();
    if (path.empty()) {
        return NoDeviceImage;
    }
    emu::runner::LoadProgram(path);
    return "";
}

// What the dialog looks like at a moment of the scenario (filled in when it comes).
inline std::shared_ptr<emu::DialogView> LookAtDialog(emu::Millis when) {
    auto view = std::make_shared<emu::DialogView>();
    emu::Script(when, "look at the dialog", [view] { *view = emu::CurrentDialog(); });
    return view;
}

// The schedule record at a moment of the scenario.
inline std::shared_ptr<ScheduleRecord> LookAtSchedule(emu::Millis when) {
    auto record = std::make_shared<ScheduleRecord>();
    emu::Script(when, "look at the schedule", [record] { *record = SuspendSchedule; });
    return record;
}

// The key events as "<time> <key> down|up" lines.
inline std::vector<std::string> KeyLines() {
    std::vector<std::string> lines;
    for (const emu::KeyEvent& key : emu::Keys()) {
        lines.push_back(emu::FormatTime(key.time) + " " + std::to_string(key.virtualKey) +
                        ((key.flags & KEYEVENTF_KEYUP) ? " up" : " down"));
    }
    return lines;
}

// The two lines of one press of the power-off key (0xDF = 223) at a moment.
inline std::vector<std::string> PowerKeyAt(const std::string& time) {
    return {time + " 223 down", time + " 223 up"};
}

} // namespace test

#endif

// libFuzzer target: any UTF-16 command line (bytes taken in little-endian pairs).
#include "emulator/device.h"
#include "test_support.h"
#include "schedule/command_line.h"
#include "schedule/schedule.h"
#include "shell/app_state.h"

#include <stddef.h>
#include <stdint.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<WCHAR> text(size / 2 + 1, 0);
    for (size_t i = 0; i < size / 2; ++i) {
        text[i] = static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
    }

    test::FreshDevice();
    ParseCommandLine(text.data());
    const ScheduleRecord& r = SuspendSchedule;

    if (r.mode != AtTime && r.mode != AfterWait) {
        __builtin_trap();
    }
    if (r.lastMinute != 0) {
        __builtin_trap();
    }
    if (text[0] != L'/') {
        if (AppState.startedWithArguments != 0 || r.mode != 0 || r.targetHour != 0 ||
            r.targetMinute != 0 || r.waitHours != 0 || r.waitMinutes != 0 ||
            r.remainingMinutes != 0) {
            __builtin_trap();
        }
    } else if (AppState.startedWithArguments != 1) {
        __builtin_trap();
    }
    if (r.mode == AfterWait &&
        r.remainingMinutes != WaitPeriodMinutes(r.waitHours, r.waitMinutes)) {
        __builtin_trap();
    }
    return 0;
}

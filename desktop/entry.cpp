// The desktop's process entry: the program as on the device, and what the desktop adds
// around it.
#include "shell/main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showState) {
    const int exitCode = MainEntry(instance, previousInstance, commandLine, showState);
    // The program has ended as after a suspension; only now, with its window gone, may a
    // sleep that did not happen be reported. Whoever started it sees the failure as well.
    if (DesktopSleepFailed()) {
        ReportSleepFailure();
        return 1;
    }
    return exitCode;
}

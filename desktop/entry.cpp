// The desktop's process entry: the program as on the device, and what the desktop adds
// around it.
#include "shell/main.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showState) {
    // The manifest asks for version 6 of the common controls, which draw the buttons and
    // edits in the desktop's visual style; the library is loaded before the first of them.
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    const int exitCode = MainEntry(instance, previousInstance, commandLine, showState);
    // The program has ended as after a suspension; only now, with its window gone, may a
    // sleep that did not happen be reported. Whoever started it sees the failure as well.
    if (DesktopSleepFailed()) {
        ReportSleepFailure();
        return 1;
    }
    return exitCode;
}

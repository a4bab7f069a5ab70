// The desktop's process entry: the program as on the device, and what the desktop adds
// around it.
//
// The process starts in DesktopStart, not in the C run-time's start-up: the program has no
// static constructors, no arguments array and nothing to run at exit, so it needs none of
// that start-up, which would take a fifth of its size. The C library functions it calls
// (msvcrt's wcstol, wcsncpy) need no start-up of the program's own.
#include "shell/main.h"

#include <commctrl.h>

// Runs the program with the command line that follows the program's own name, as the C
// run-time hands it to wWinMain; answers the exit code.
static int DesktopMain(HINSTANCE instance, LPWSTR commandLine, int showState) {
    // The manifest asks for version 6 of the common controls, which draw the buttons and
    // edits in the desktop's visual style; the library is loaded before the first of them.
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    const int exitCode = MainEntry(instance, NULL, commandLine, showState);
    // The program has ended as after a suspension; only now, with its window gone, may a
    // sleep that did not happen be reported. Whoever started it sees the failure as well.
    if (DesktopSleepFailed()) {
        ReportSleepFailure();
        return 1;
    }
    return exitCode;
}

// The command line without the program's name: a quoted name runs to the closing quote, an
// unquoted one to the first blank; the blanks after it are skipped too.
static LPWSTR SkipProgramName(LPWSTR text) {
    if (*text == L'"') {
        ++text;
        while (*text != 0 && *text != L'"') {
            ++text;
        }
        if (*text == L'"') {
            ++text;
        }
    } else {
        while (*text != 0 && *text != L' ' && *text != L'\t') {
            ++text;
        }
    }
    while (*text == L' ' || *text == L'\t') {
        ++text;
    }
    return text;
}

extern "C" void WINAPI DesktopStart() {
    // Before anything loads a DLL: none from the program's folder or the current one.
    DesktopRestrictDllSearch();
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    const int showState =
        (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(
        DesktopMain(GetModuleHandleW(NULL), SkipProgramName(GetCommandLineW()), showState)));
}

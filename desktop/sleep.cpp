// Sleep on desktop Windows: what the device's power-off key does, as near as a desktop
// computer comes to it, and the report when the computer cannot sleep.
//
// The device goes into its sleep state and nothing else. The desktop has two kinds of sleep:
// - Modern Standby (S0 low-power idle): the computer enters it the way its power button
//   enters it, when the display goes off. SetSuspendState does not enter it: on such
//   computers it hibernates or does nothing.
// - S1-S3 sleep states: SetSuspendState, which needs the shutdown privilege enabled in the
//   caller's token and returns once the computer wakes again.
// A computer with neither could only hibernate, which is not sleep: it is not asked to.
//
// The power functions come from the system folder's powrprof.dll, loaded by its full path
// when the first sleep is asked for, never from an import: powrprof is not one of the
// system's KnownDLLs, and the loader would look for an imported one in the program's own
// folder first (see desktop/dll_search.cpp). When they cannot be had, the sleep fails as any
// other: the report names the reason.
#include "platform/platform.h"

#include <powrprof.h>

// Each broadcast receiver may take this long to answer, in milliseconds.
#define DISPLAY_OFF_TIMEOUT_MS 1000
// lParam of SC_MONITORPOWER: the display is being shut off.
#define MONITOR_OFF 2

#define SLEEP_FAILED_TEXT L"The computer could not be put to sleep."
// Room for the sentence above and the system's reason for the failure.
#define REPORT_LENGTH 512

// Set when a sleep request failed; the reason is a system error code, 0 when none is known.
static int sleepFailed;
static DWORD sleepError;

typedef NTSTATUS(WINAPI* CallNtPowerInformationFunction)(POWER_INFORMATION_LEVEL, PVOID, ULONG,
                                                         PVOID, ULONG);
typedef BOOLEAN(WINAPI* SetSuspendStateFunction)(BOOLEAN, BOOLEAN, BOOLEAN);

// The system's power functions, once they have been found.
static CallNtPowerInformationFunction callNtPowerInformation;
static SetSuspendStateFunction setSuspendState;

static void* PowerFunction(HMODULE library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

// Finds the power functions in the system folder's powrprof.dll. Answers 0, or the system
// error that kept one of them from being found.
static DWORD LoadPowerFunctions() {
    if (callNtPowerInformation != NULL && setSuspendState != NULL) {
        return ERROR_SUCCESS;
    }
    const HMODULE library = DesktopLoadSystemLibrary(L"powrprof.dll");
    if (library == NULL) {
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_MOD_NOT_FOUND;
    }
    // The library stays loaded while the program runs.
    callNtPowerInformation = reinterpret_cast<CallNtPowerInformationFunction>(
        PowerFunction(library, "CallNtPowerInformation"));
    setSuspendState =
        reinterpret_cast<SetSuspendStateFunction>(PowerFunction(library, "SetSuspendState"));
    if (callNtPowerInformation == NULL || setSuspendState == NULL) {
        callNtPowerInformation = NULL;
        setSuspendState = NULL;
        return ERROR_PROC_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

// Whether the computer sleeps by Modern Standby. A system older than Modern Standby does not
// know the question and fails it, which answers it as well.
static int HasModernStandby() {
    POWER_PLATFORM_INFORMATION platform;
    memset(&platform, 0, sizeof(platform));
    const LONG status =
        callNtPowerInformation(PlatformInformation, NULL, 0, &platform, sizeof(platform));
    return status >= 0 && platform.AoAc;
}

// Whether the computer has one of the sleep states S1-S3.
static int HasSleepState() {
    SYSTEM_POWER_CAPABILITIES capabilities;
    memset(&capabilities, 0, sizeof(capabilities));
    const LONG status = callNtPowerInformation(SystemPowerCapabilities, NULL, 0, &capabilities,
                                               sizeof(capabilities));
    return status >= 0 && (capabilities.SystemS1 || capabilities.SystemS2 || capabilities.SystemS3);
}

// Enables the shutdown privilege in the process's token, which SetSuspendState requires.
// Answers 0, or the system error that kept it disabled.
static DWORD EnableShutdownPrivilege() {
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        return GetLastError();
    }
    TOKEN_PRIVILEGES privileges;
    memset(&privileges, 0, sizeof(privileges));
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD error = ERROR_SUCCESS;
    if (!LookupPrivilegeValueW(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL)) {
        error = GetLastError();
    } else if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        // The call succeeds even when the token does not hold the privilege at all.
        error = ERROR_PRIVILEGE_NOT_HELD;
    }
    CloseHandle(token);
    return error;
}

static void Fail(DWORD error) {
    if (!sleepFailed) {
        sleepFailed = 1;
        sleepError = error;
    }
}

void DesktopSleep() {
    const DWORD missing = LoadPowerFunctions();
    if (missing != ERROR_SUCCESS) {
        Fail(missing);
        return;
    }
    if (HasModernStandby()) {
        // As the power button does: the display goes off and Modern Standby follows. Every
        // top-level window receives the request, so that the system's default handling
        // sees it; hung windows are not waited for, and no other message reaches this
        // thread meanwhile (a second suspension cannot start inside this one).
        SendMessageTimeoutW(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, MONITOR_OFF,
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, DISPLAY_OFF_TIMEOUT_MS, NULL);
        return;
    }
    if (!HasSleepState()) {
        // Asking would hibernate the computer or fail.
        Fail(ERROR_NOT_SUPPORTED);
        return;
    }
    const DWORD error = EnableShutdownPrivilege();
    if (error != ERROR_SUCCESS) {
        Fail(error);
        return;
    }
    // Sleep, not hibernation, with wake-up events left on; returns once the computer wakes.
    if (!setSuspendState(FALSE, FALSE, FALSE)) {
        Fail(GetLastError());
    }
}

int DesktopSleepFailed() {
    return sleepFailed;
}

void ReportSleepFailure() {
    // A quit message still waiting in the queue (the window can end before the message loop
    // ever runs) would close the message box at once.
    MSG msg;
    while (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    // The sentence, then the system's words for the reason, or at least its number.
    static const wchar_t headline[] = SLEEP_FAILED_TEXT L"\r\n\r\n";
    const DWORD headlineLength = sizeof(headline) / sizeof(headline[0]) - 1;
    wchar_t text[REPORT_LENGTH];
    memcpy(text, headline, sizeof(headline));
    if (sleepError == ERROR_SUCCESS) {
        text[sizeof(SLEEP_FAILED_TEXT) / sizeof(wchar_t) - 1] = L'\0';
    } else if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                              sleepError, 0, text + headlineLength, REPORT_LENGTH - headlineLength,
                              NULL) == 0) {
        wsprintfW(text + headlineLength, L"Error %lu.", sleepError);
    }
    // The program has no window left; the report must still be seen in front of the others.
    MessageBoxW(NULL, text, L"Velmot", MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
}

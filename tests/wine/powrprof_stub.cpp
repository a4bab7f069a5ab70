// Stand-in for the system's powrprof.dll in the Wine tests: instead of putting the computer
// to sleep, SetSuspendState appends one line with its three arguments ("0 0 0") to the file
// named by the environment variable VELMOT_SUSPEND_LOG, and reports success.
#include <windows.h>

#include <stdio.h>

extern "C" __declspec(dllexport) BOOLEAN WINAPI
    SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN disableWakeEvent) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"VELMOT_SUSPEND_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return TRUE;
    }
    char line[32];
    const int size = snprintf(line, sizeof(line), "%d %d %d\n", hibernate, force, disableWakeEvent);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(size), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}

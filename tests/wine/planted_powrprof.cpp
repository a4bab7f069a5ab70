// A powrprof.dll planted beside velmot.exe in the Wine tests, as an attacker would plant one
// in the folder where a user unpacked the program (say, Downloads). Whenever a process loads
// it, its DllMain appends one line to planted-powrprof.log in its own folder,
//
//   loaded process=312 program="Z:\...\velmot.exe"
//
// and each call of its functions one more ("CallNtPowerInformation 4", "SetSuspendState").
// It plays a computer with S3 that sleeps at once, so a program that loaded it would sleep
// through it, and the test driver would see the sleep missing from the system folder's
// stand-in's log. The driver runs velmot.exe with the DLL override powrprof=native,builtin,
// under which Wine takes a powrprof.dll that the search finds in the program's folder; it
// requires that the log never appears.
#include "append_to_log.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

HINSTANCE self = NULL;

void Mark(const char* line) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    wchar_t* name = path + length;
    while (name > path && name[-1] != L'\\' && name[-1] != L'/') {
        --name;
    }
    const wchar_t log[] = L"planted-powrprof.log";
    if (static_cast<size_t>(name - path) + sizeof(log) / sizeof(log[0]) > MAX_PATH) {
        return;
    }
    lstrcpyW(name, log);
    AppendToLog(path, line, strlen(line));
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        wchar_t program[MAX_PATH] = {0};
        GetModuleFileNameW(NULL, program, MAX_PATH);
        char line[MAX_PATH + 64];
        snprintf(line, sizeof(line), "loaded process=%lu program=\"%ls\"\n",
                 static_cast<unsigned long>(GetCurrentProcessId()), program);
        Mark(line);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) LONG WINAPI
    CallNtPowerInformation(POWER_INFORMATION_LEVEL level, PVOID, ULONG, PVOID output,
                           ULONG outputLength) {
    char line[64];
    snprintf(line, sizeof(line), "CallNtPowerInformation %d\n", static_cast<int>(level));
    Mark(line);
    if (level != SystemPowerCapabilities || output == NULL ||
        outputLength < sizeof(SYSTEM_POWER_CAPABILITIES)) {
        return static_cast<LONG>(0xC000000D); // STATUS_INVALID_PARAMETER
    }
    SYSTEM_POWER_CAPABILITIES capabilities;
    ZeroMemory(&capabilities, sizeof(capabilities));
    capabilities.SystemS3 = TRUE;
    memcpy(output, &capabilities, sizeof(capabilities));
    return 0;
}

extern "C" __declspec(dllexport) BOOLEAN WINAPI SetSuspendState(BOOLEAN, BOOLEAN, BOOLEAN) {
    Mark("SetSuspendState\n");
    return TRUE;
}

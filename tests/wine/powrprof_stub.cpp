// Stand-in for the system's powrprof.dll in the Wine tests. Wine's own accepts every sleep
// request; this one behaves as the documentation and real computers do, so that a program
// that would fail on a real computer fails here too. It exports every powrprof function
// that velmot.exe looks up. The test driver installs it where a computer has its power
// library, in the Wine prefix's system folder, under the real name: velmot.exe loads only
// that one.
//
// The environment variable VELMOT_TEST_MACHINE names the computer it plays:
//   s3              sleeps in S3 (the default)
//   modern-standby  Modern Standby (S0 low-power idle): no S1-S3; SetSuspendState hibernates
//   hibernate-only  no sleep state, only hibernation: SetSuspendState hibernates
//   s3-failing      has S3, but every SetSuspendState fails (a driver refuses to sleep)
//   no-library      its power library cannot be loaded: this DLL's initialisation fails
// SetSuspendState never suspends anything. It requires the shutdown privilege enabled in the
// caller's token, as documented, and fails with ERROR_PRIVILEGE_NOT_HELD without it. Each
// call appends one line to the file named by VELMOT_SUSPEND_LOG: its three arguments, the
// privilege, and what the computer did ("slept", "hibernated" or "failed <error>"), e.g.
//   SetSuspendState 0 0 0 privilege=enabled slept
#include <windows.h>

#include "append_to_log.h"

#include <stdio.h>
#include <string.h>

namespace {

// NTSTATUS values of CallNtPowerInformation.
const LONG kStatusSuccess = 0;
const LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000D);
const LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

// What SetSuspendState fails with on the s3-failing computer.
const DWORD kDriverRefused = ERROR_GEN_FAILURE;

enum Machine { kS3, kModernStandby, kHibernateOnly, kS3Failing, kNoLibrary };

Machine CurrentMachine() {
    wchar_t name[32] = {0};
    const DWORD length = GetEnvironmentVariableW(L"VELMOT_TEST_MACHINE", name, 32);
    if (length == 0 || length >= 32) {
        return kS3;
    }
    if (lstrcmpW(name, L"modern-standby") == 0) {
        return kModernStandby;
    }
    if (lstrcmpW(name, L"hibernate-only") == 0) {
        return kHibernateOnly;
    }
    if (lstrcmpW(name, L"s3-failing") == 0) {
        return kS3Failing;
    }
    if (lstrcmpW(name, L"no-library") == 0) {
        return kNoLibrary;
    }
    return kS3;
}

bool HasS3(Machine machine) {
    return machine == kS3 || machine == kS3Failing;
}

// Whether the process's token has the shutdown privilege enabled (not merely held).
bool ShutdownPrivilegeEnabled() {
    LUID shutdown;
    if (!LookupPrivilegeValueW(NULL, L"SeShutdownPrivilege", &shutdown)) {
        return false;
    }
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    union {
        TOKEN_PRIVILEGES privileges;
        BYTE bytes[4096];
    } buffer;
    DWORD size = 0;
    const bool read =
        GetTokenInformation(token, TokenPrivileges, &buffer, sizeof(buffer), &size) != FALSE;
    CloseHandle(token);
    if (!read) {
        return false;
    }
    for (DWORD i = 0; i < buffer.privileges.PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = buffer.privileges.Privileges[i];
        if (entry.Luid.LowPart == shutdown.LowPart && entry.Luid.HighPart == shutdown.HighPart) {
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return false;
}

void Log(const char* line) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"VELMOT_SUSPEND_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    AppendToLog(path, line, strlen(line));
}

// Answers one level of CallNtPowerInformation: no input, and an output buffer of at least
// the record's size.
LONG Answer(const void* record, ULONG size, PVOID input, ULONG inputLength, PVOID output,
            ULONG outputLength) {
    if (input != NULL || inputLength != 0 || output == NULL) {
        return kStatusInvalidParameter;
    }
    if (outputLength < size) {
        return kStatusBufferTooSmall;
    }
    memcpy(output, record, size);
    return kStatusSuccess;
}

} // namespace

// On the computer whose power library cannot be loaded, the load fails here.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    return reason != DLL_PROCESS_ATTACH || CurrentMachine() != kNoLibrary;
}

extern "C" __declspec(dllexport) LONG WINAPI
    CallNtPowerInformation(POWER_INFORMATION_LEVEL level, PVOID input, ULONG inputLength,
                           PVOID output, ULONG outputLength) {
    const Machine machine = CurrentMachine();
    if (level == PlatformInformation) {
        POWER_PLATFORM_INFORMATION platform;
        ZeroMemory(&platform, sizeof(platform));
        platform.AoAc = machine == kModernStandby;
        return Answer(&platform, sizeof(platform), input, inputLength, output, outputLength);
    }
    if (level == SystemPowerCapabilities) {
        SYSTEM_POWER_CAPABILITIES capabilities;
        ZeroMemory(&capabilities, sizeof(capabilities));
        capabilities.PowerButtonPresent = TRUE;
        capabilities.SystemS3 = HasS3(machine);
        capabilities.SystemS4 = TRUE;
        capabilities.SystemS5 = TRUE;
        capabilities.HiberFilePresent = TRUE;
        // The field that the current headers call AoAc (mingw-w64 still has it as spare).
        capabilities.spare2[2] = machine == kModernStandby;
        return Answer(&capabilities, sizeof(capabilities), input, inputLength, output,
                      outputLength);
    }
    // Levels that none of these computers answer.
    return kStatusInvalidParameter;
}

extern "C" __declspec(dllexport) BOOLEAN WINAPI
    SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN disableWakeEvent) {
    const Machine machine = CurrentMachine();
    const bool privilege = ShutdownPrivilegeEnabled();
    DWORD error = ERROR_SUCCESS;
    const char* outcome = "slept";
    if (!privilege) {
        error = ERROR_PRIVILEGE_NOT_HELD;
    } else if (hibernate || !HasS3(machine)) {
        // What users of such computers see when they ask for sleep.
        outcome = "hibernated";
    } else if (machine == kS3Failing) {
        error = kDriverRefused;
    }
    char line[96];
    if (error != ERROR_SUCCESS) {
        snprintf(line, sizeof(line), "SetSuspendState %d %d %d privilege=%s failed %lu\n",
                 hibernate, force, disableWakeEvent, privilege ? "enabled" : "disabled", error);
    } else {
        snprintf(line, sizeof(line), "SetSuspendState %d %d %d privilege=%s %s\n", hibernate, force,
                 disableWakeEvent, privilege ? "enabled" : "disabled", outcome);
    }
    Log(line);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

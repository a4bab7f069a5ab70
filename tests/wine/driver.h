// What the Wine test driver's cases share (tests/wine/driver.cpp): velmot.exe started as a
// process of its own, the stand-ins' logs, and a case's checks and report. The cases of where
// velmot.exe takes its DLLs from are in tests/wine/dll_loading.cpp.
#ifndef VELMOT_TESTS_WINE_DRIVER_H
#define VELMOT_TESTS_WINE_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

namespace wine_test {

// Time-outs are generous (a process start under Wine takes a second or two, the first one in
// a new prefix much longer); the waits poll and end as soon as the condition holds.
const DWORD kTimeout = 60000;
const DWORD kPoll = 50;
// What the stand-in logs for a sleep as the program asks for it (see powrprof_stub.cpp).
const char* const kSuspendLine = "SetSuspendState 0 0 0 privilege=enabled slept\n";

extern std::wstring programPath;    // velmot.exe
extern std::wstring programDir;     // its folder, with the stand-in DLLs
extern std::wstring plantedLogPath; // the planted powrprof's log of its loads and calls
extern std::wstring loadLogPath;    // the stand-in shell32's log of its load by bare name

template <typename Condition> bool WaitFor(Condition condition, DWORD timeout = kTimeout) {
    const ULONGLONG end = GetTickCount64() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(kPoll);
    }
}

std::string Narrow(const std::wstring& text);
std::string Lower(std::string text);
// The log's text on one line of the report.
std::string OneLine(const std::string& text);
// A failed call as the report gives it: "CreateProcessW failed: error 2 (The system cannot
// find the file specified.)". error is what the call left in GetLastError (or returned), read
// right after it: nothing else that Failed's arguments ask for may come between.
std::string Failed(const char* call, DWORD error);
// A file's text; empty when it cannot be read.
std::string ReadText(const std::wstring& path);

// ---- The program as a process ----------------------------------------------------------

struct Process {
    HANDLE handle = NULL;
    DWORD id = 0;

    bool Running() const {
        return handle != NULL && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    }
    // Waits for the process to end; false when it is still running after the time-out.
    bool Ended(DWORD& exitCode, DWORD timeout = kTimeout) const {
        if (handle == NULL || WaitForSingleObject(handle, timeout) != WAIT_OBJECT_0) {
            return false;
        }
        return GetExitCodeProcess(handle, &exitCode) != 0;
    }
    // Ends what a failed case left running, so that the next case starts afresh.
    void Close() {
        if (Running()) {
            TerminateProcess(handle, 99);
            WaitForSingleObject(handle, kTimeout);
        }
        if (handle != NULL) {
            CloseHandle(handle);
        }
        handle = NULL;
    }
    ~Process() {
        Close();
    }
};

// How velmot.exe is started: by default with its full name quoted, as Explorer starts it, and
// with the driver's own token.
struct Launch {
    // Its bare name, unquoted (velmot.exe /W 0:0), as a command prompt in its folder gives it.
    bool bareName = false;
    // A primary token made from the driver's own (CreateRestrictedToken) for it to run with.
    HANDLE token = NULL;
    // As on a system whose kernel32 lacks SetDefaultDllDirectories (Windows 7 without update
    // KB2533623): HideSetDefaultDllDirectories before it runs.
    bool withoutDefaultDllDirectories = false;
};

// Starts velmot.exe with the given command line (null: none at all). On failure, answers
// false with the report of the failed call in failure.
bool Start(const wchar_t* arguments, Process& process, std::string& failure,
           const Launch& launch = Launch());
// In a process that the driver has just started as its debugger (DEBUG_ONLY_THIS_PROCESS),
// before it runs an instruction of its own, kernel32's SetDefaultDllDirectories is hidden from
// GetProcAddress; then the driver lets it go (dll_loading.cpp). On failure, answers false with
// the reason in failure.
bool HideSetDefaultDllDirectories(const PROCESS_INFORMATION& info, std::string& failure);

HWND MainWindow();
void ClearLogs();

// ---- Cases -----------------------------------------------------------------------------

struct Case {
    std::string name;
    std::vector<std::string> problems;

    explicit Case(const char* caseName) : name(caseName) {
        // A window left by an earlier case would make this start a second copy.
        WaitFor([] { return MainWindow() == NULL; });
        ClearLogs();
    }
    bool Check(bool condition, const std::string& what) {
        if (!condition) {
            problems.push_back(what);
        }
        return condition;
    }
};

void Report(const Case& c);
// Start, with a failure recorded in the case (label: what the start was, for the report).
bool Started(Case& c, const wchar_t* arguments, Process& process, const std::string& label = "",
             const Launch& launch = Launch());
// Checks how a run ended: the exit code, no window left, the expected number of suspensions
// in the log (each logged as line), and its icon added (adds times) and deleted once (window:
// the main window, if known).
void CheckEnd(Case& c, Process& process, int suspensions, HWND window = NULL, size_t adds = 1,
              DWORD exitCode = 0, const char* line = kSuspendLine);

// ---- Where velmot.exe takes its DLLs from (dll_loading.cpp) ------------------------------

// velmot.exe's imports, from its file: the system's KnownDLLs only.
void ImportsOnlySystemDlls();
// A powrprof.dll planted beside velmot.exe is not loaded: not by velmot.exe's own load of the
// power library, not by a later load by bare name, and not where the system lacks
// SetDefaultDllDirectories.
void DllLoadingCases();
// After every case: the planted powrprof.dll was loaded in none of them.
void PlantedDllNeverLoaded();

} // namespace wine_test

#endif

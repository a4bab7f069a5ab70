// End-to-end tests of velmot.exe under Wine.
//
// Starts the real program as a separate process and acts on it only from outside, as the
// user and other programs can: its command line, its main window (found by class name) and
// the messages it takes, its notification icon, its settings dialog and the exit code. Two
// stand-in DLLs, which the driver installs in the Wine prefix's system folder (from system32/
// beside it), record what it asks of the system: powrprof.dll (tests/wine/powrprof_stub.cpp)
// plays the computer named by VELMOT_TEST_MACHINE and writes one line to the file named by
// VELMOT_SUSPEND_LOG for each call of SetSuspendState, instead of suspending, and shell32.dll
// (tests/wine/shell32_stub.cpp) one line to the file named by VELMOT_SHELL_LOG for each
// notification-icon call, which it passes on to Wine's own shell32. A third powrprof.dll lies
// beside velmot.exe (tests/wine/planted_powrprof.cpp), planted as an attacker would plant one
// where the program was unpacked, under a DLL override that would let Wine load it; it logs
// every load of it to planted-powrprof.log, which must never appear: not when velmot.exe loads
// its power library, not when a DLL of its process loads powrprof.dll by its bare name after
// start-up (the stand-in shell32 does, when told to), and not on a system without
// SetDefaultDllDirectories, which the driver makes of Wine by hiding that function from
// velmot.exe (tests/wine/dll_loading.cpp).
// Every run that ends is checked for exactly one add of the icon and one delete after it:
// Wine's notification area drops a dead window's icons by itself, so the icon's absence
// afterwards would not show a missing delete.
//
//   driver.exe                 runs every case; prints "ok - ..." or "not ok - ..." per case
//                              and a closing "N passed, M failed"; exit code 1 on a failure
//   driver.exe --show-dialog   starts velmot.exe without a command line, returns once its
//                              settings dialog is on screen and leaves it running
//   driver.exe --show-menu     starts velmot.exe /W 1:30, clicks its notification icon (the
//                              cursor on the icon), returns once the popup menu is on screen
//                              and leaves it running
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>
#include <psapi.h>

#include <ctype.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "desktop/desktop_resource.h"
#include "resources/resource.h"
#include "tests/wine/driver.h"
#include "velmot_version.h"

namespace wine_test {

// The program's external interface.
const char* const kMainClassName = "VelmotWndCls";
const wchar_t* const kMainClass = L"VelmotWndCls";
const UINT kQuitRequest = WM_USER + 100; // 1124
const UINT kTrayNotify = WM_USER + 101;  // 1125
const UINT kHibernate = 0x03FF;
const WORD kMenuSet = 40001;
const WORD kMenuSuspend = 40002;
const WORD kMenuExit = 40003;
const UINT kIconId = 1;
// The named mutex that the first copy holds while it runs.
const wchar_t* const kSingleInstanceMutex = L"VelmotSingleInstance";
// What the program's one icon is added with.
const UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
const char* const kIconTip = "Velmot";

std::wstring programPath;    // velmot.exe
std::wstring programDir;     // its folder, with the stand-in DLLs
std::wstring logPath;        // the stand-in powrprof's suspension log
std::wstring iconLogPath;    // the stand-in shell32's log of notification-icon calls
std::wstring plantedLogPath; // the planted powrprof's log of its loads and calls
std::wstring loadLogPath;    // the stand-in shell32's log of its load by bare name
// The size in pixels at which velmot.exe adds its icon: the small-icon size for the DPI that
// it started with, 16 at Wine's 96 unless a case scales the desktop (DpiScope).
int iconPixels = 16;

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t unit : text) {
        result += unit < 128 ? static_cast<char>(unit) : '?';
    }
    return result;
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string OneLine(const std::string& text) {
    std::string result;
    for (char unit : text) {
        result += unit == '\n' ? std::string("\\n") : std::string(1, unit);
    }
    return result;
}

// The system's text for an error, without the line break at its end.
std::wstring SystemMessage(DWORD error) {
    wchar_t text[512] = {0};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                   512, NULL);
    std::wstring message = text;
    while (!message.empty() && iswspace(message.back())) {
        message.pop_back();
    }
    return message;
}

std::string Failed(const char* call, DWORD error) {
    const std::string text = Narrow(SystemMessage(error));
    return std::string(call) + " failed: error " + std::to_string(error) +
           (text.empty() ? "" : " (" + text + ")");
}

// ---- The program as a process ----------------------------------------------------------

bool Start(const wchar_t* arguments, Process& process, std::string& failure, const Launch& launch) {
    std::wstring commandLine = launch.bareName ? L"velmot.exe" : L"\"" + programPath + L"\"";
    if (arguments != NULL) {
        commandLine += L" ";
        commandLine += arguments;
    }
    // Both calls may write to the command line, so it is a buffer of the driver's own.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    const DWORD flags = launch.withoutDefaultDllDirectories ? DEBUG_ONLY_THIS_PROCESS : 0;
    const BOOL started =
        launch.token != NULL
            ? CreateProcessAsUserW(launch.token, programPath.c_str(), buffer.data(), NULL, NULL,
                                   FALSE, flags, NULL, programDir.c_str(), &startup, &info)
            : CreateProcessW(programPath.c_str(), buffer.data(), NULL, NULL, FALSE, flags, NULL,
                             programDir.c_str(), &startup, &info);
    if (!started) {
        failure = Failed(launch.token != NULL ? "CreateProcessAsUserW" : "CreateProcessW",
                         GetLastError());
        return false;
    }
    if (launch.withoutDefaultDllDirectories && !HideSetDefaultDllDirectories(info, failure)) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, kTimeout);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return false;
    }
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
    return true;
}

HWND MainWindow() {
    return FindWindowW(kMainClass, NULL);
}

int CountMainWindows() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM counter) -> BOOL {
            wchar_t name[64];
            if (GetClassNameW(window, name, 64) > 0 && lstrcmpW(name, kMainClass) == 0) {
                ++*reinterpret_cast<int*>(counter);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// Whether window has a notification icon with the given id: modifying nothing of it
// succeeds only while it exists.
bool HasIcon(HWND window, UINT id = kIconId) {
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = id;
    data.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// A visible top-level window of the given class that belongs to the process.
HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        HWND found;
    } search = {processId, className, NULL};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            Search& s = *reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64];
            if (owner == s.processId && IsWindowVisible(window) &&
                GetClassNameW(window, name, 64) > 0 && lstrcmpW(name, s.className) == 0) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Sends with a time-out, so that a hung program fails a case instead of the whole run.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 10000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring Text(HWND window) {
    wchar_t text[256] = {0};
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000,
                        NULL);
    return text;
}

bool IsChecked(HWND dialog, int id) {
    return Send(GetDlgItem(dialog, id), BM_GETCHECK) == BST_CHECKED;
}

// ---- The stand-ins' logs ---------------------------------------------------------------

void ClearLogs() {
    DeleteFileW(logPath.c_str());
    DeleteFileW(iconLogPath.c_str());
}

std::string ReadText(const std::wstring& path) {
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

// The suspension log: one line "0 0 0" per suspension.
std::string ReadLog() {
    return ReadText(logPath);
}

// One line of the notification-icon log: the operation (NIM_ADD, ...) and its fields, such as
// window=0x20064 or tip="Velmot" (unquoted here); see tests/wine/shell32_stub.cpp.
struct IconCall {
    std::string line;
    std::string operation;
    std::map<std::string, std::string> fields;

    std::string Field(const char* name) const {
        const std::map<std::string, std::string>::const_iterator found = fields.find(name);
        return found == fields.end() ? std::string("(none)") : found->second;
    }
    unsigned long long Number(const char* name) const {
        const std::string text = Field(name);
        return strtoull(text.c_str(), NULL, 0);
    }
};

IconCall ParseIconCall(const std::string& line) {
    IconCall call;
    call.line = line;
    size_t at = line.find(' ');
    call.operation = line.substr(0, at);
    while (at != std::string::npos) {
        ++at; // past the space before name=value
        const size_t equals = line.find('=', at);
        if (equals == std::string::npos) {
            break;
        }
        std::string& value = call.fields[line.substr(at, equals - at)];
        at = equals + 1;
        if (at < line.size() && line[at] == '"') {
            // Quoted: a backslash takes the next character as it is.
            for (++at; at < line.size() && line[at] != '"'; ++at) {
                if (line[at] == '\\' && at + 1 < line.size()) {
                    ++at;
                }
                value += line[at];
            }
            ++at; // past the closing quote
        } else {
            const size_t end = line.find(' ', at);
            value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end;
        }
        at = line.find(' ', at);
    }
    return call;
}

std::vector<IconCall> ReadIconCalls() {
    std::vector<IconCall> calls;
    const std::string text = ReadText(iconLogPath);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            calls.push_back(ParseIconCall(text.substr(start, end - start)));
        }
        start = end + 1;
    }
    return calls;
}

// ---- Cases -----------------------------------------------------------------------------

int passed = 0;
int failed = 0;

void Report(const Case& c) {
    if (c.problems.empty()) {
        ++passed;
        printf("ok - %s\n", c.name.c_str());
    } else {
        ++failed;
        printf("not ok - %s:", c.name.c_str());
        for (size_t i = 0; i < c.problems.size(); ++i) {
            printf("%s %s", i == 0 ? "" : ";", c.problems[i].c_str());
        }
        printf("\n");
    }
    fflush(stdout);
}

std::string Hex(UINT_PTR value) {
    char text[24];
    snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Checks the notification-icon calls of the case so far: adds (normally one) successful
// adds of the main window's icon by process (with window, when known: from that window), each
// with the first one's record, and once the process has ended one delete of the same icon
// after them; no other call, from any process. An add after the first may fail: Wine's
// notification area still holds the icon when the test only says that it was created again.
void CheckIconCalls(Case& c, const Process& process, HWND window, bool ended, size_t adds = 1) {
    const std::vector<IconCall> calls = ReadIconCalls();
    std::vector<const IconCall*> added;
    const IconCall* remove = NULL;
    for (const IconCall& call : calls) {
        const bool own = call.Number("process") == process.id;
        if (call.operation == "NIM_ADD" && own && added.size() < adds && remove == NULL) {
            added.push_back(&call);
        } else if (call.operation == "NIM_DELETE" && own && !added.empty() && remove == NULL) {
            remove = &call;
        } else {
            c.Check(false, "unexpected notification-icon call" +
                               std::string(own ? "" : " from another process") + ": " + call.line);
        }
    }
    if (!c.Check(added.size() == adds, std::to_string(added.size()) + " notification icon adds, " +
                                           "not " + std::to_string(adds))) {
        return;
    }
    const IconCall* add = added[0];
    const std::string what = "icon added with ";
    c.Check(add->Field("class") == kMainClassName,
            what + "a window of class \"" + add->Field("class") + "\"");
    if (window != NULL) {
        c.Check(add->Field("window") == Hex(reinterpret_cast<UINT_PTR>(window)),
                what + "window " + add->Field("window") + ", not the main window " +
                    Hex(reinterpret_cast<UINT_PTR>(window)));
    }
    c.Check(add->Number("id") == kIconId, what + "id " + add->Field("id"));
    c.Check(add->Number("flags") == kIconFlags, what + "flags " + add->Field("flags"));
    c.Check(add->Number("message") == kTrayNotify, what + "message " + add->Field("message"));
    c.Check(add->Number("icon") != 0, what + "no icon handle");
    // The desktop's picture, in colour with alpha, at the notification area's size.
    const std::string image =
        std::to_string(iconPixels) + "x" + std::to_string(iconPixels) + "+alpha";
    c.Check(add->Field("image") == image,
            what + "the image " + add->Field("image") + ", not " + image);
    c.Check(add->Field("tip") == kIconTip, what + "tooltip \"" + add->Field("tip") + "\"");
    c.Check(add->Number("result") == 1, "adding the icon failed: " + add->line);
    for (size_t i = 1; i < added.size(); ++i) {
        const char* fields[] = {"size", "window", "id", "flags", "message", "icon", "tip"};
        for (const char* field : fields) {
            c.Check(added[i]->Field(field) == add->Field(field),
                    "the icon was added again with another " + std::string(field) + ": " +
                        added[i]->line + " after " + add->line);
        }
    }
    if (!ended) {
        c.Check(remove == NULL, "the icon was deleted while velmot.exe runs");
        return;
    }
    if (!c.Check(remove != NULL, "the icon was not deleted")) {
        return;
    }
    c.Check(remove->Field("window") == add->Field("window") && remove->Number("id") == kIconId,
            "deleted another icon (" + remove->line + ") than was added (" + add->line + ")");
    c.Check(remove->Number("result") == 1, "deleting the icon failed: " + remove->line);
}

void CheckEnd(Case& c, Process& process, int suspensions, HWND window, size_t adds, DWORD exitCode,
              const char* line) {
    DWORD code = 0;
    if (!c.Check(process.Ended(code), "velmot.exe still runs")) {
        return;
    }
    c.Check(code == exitCode,
            "exit code " + std::to_string(code) + ", not " + std::to_string(exitCode));
    c.Check(MainWindow() == NULL, "its main window remains");
    std::string expected;
    for (int i = 0; i < suspensions; ++i) {
        expected += line;
    }
    const std::string log = ReadLog();
    c.Check(log == expected,
            "suspension log \"" + OneLine(log) + "\", expected \"" + OneLine(expected) + "\"");
    CheckIconCalls(c, process, window, true, adds);
}

bool Started(Case& c, const wchar_t* arguments, Process& process, const std::string& label,
             const Launch& launch) {
    std::string failure;
    return c.Check(Start(arguments, process, failure, launch), label + failure);
}

// Starts velmot.exe with a command line that arms it without a dialog, and waits for its
// window and icon. Answers the window, or null (with the problem recorded).
HWND StartArmed(Case& c, Process& process, const wchar_t* arguments,
                const Launch& launch = Launch()) {
    if (!Started(c, arguments, process, "", launch)) {
        return NULL;
    }
    HWND window = NULL;
    if (!c.Check(WaitFor([&] { return (window = MainWindow()) != NULL || !process.Running(); }) &&
                     window != NULL,
                 "no main window appeared")) {
        return NULL;
    }
    c.Check(WaitFor([&] { return HasIcon(window); }), "no notification icon");
    c.Check(process.Running(), "velmot.exe ended");
    return window;
}

void SuspendsAtStart(const char* name, const wchar_t* arguments, const Launch& launch = Launch()) {
    Case c(name);
    Process process;
    if (Started(c, arguments, process, "", launch)) {
        // A command line lost on its way to the program opens the dialog instead.
        HWND dialog = NULL;
        WaitFor([&] {
            return (dialog = FindProcessWindow(process.id, L"#32770")) != NULL ||
                   !process.Running();
        });
        if (c.Check(dialog == NULL, "the settings dialog opened: velmot.exe did not get the "
                                    "command line")) {
            CheckEnd(c, process, 1);
        }
    }
    Report(c);
}

void SuspendsAtCurrentTime() {
    // Leaves time for the start before the minute changes.
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wSecond >= 45) {
        const WORD minute = now.wMinute;
        WaitFor([&] {
            GetLocalTime(&now);
            return now.wMinute != minute;
        });
    }
    wchar_t arguments[32];
    swprintf(arguments, 32, L"/T %u:%02u", now.wHour, now.wMinute);
    SuspendsAtStart(("/T at the current time (" + Narrow(arguments + 3) +
                     ") suspends once during start-up and exits 0")
                        .c_str(),
                    arguments);
}

void SecondCopyLeavesFirstAlone() {
    Case c("/W 1:30 runs with window and icon; second starts with and without a command line "
           "exit 0 at once and add no icon; quit request ends it with 0, no suspension; while "
           "another process holds \"VelmotSingleInstance\", a start exits 0 at once");
    Process first;
    HWND window = StartArmed(c, first, L"/W 1:30");
    if (window != NULL) {
        // With /W 0:0 a second copy that ran would suspend at once; without a command line it
        // would open its dialog.
        const wchar_t* seconds[] = {L"/W 0:0", NULL};
        for (const wchar_t* arguments : seconds) {
            const std::string label = arguments == NULL ? "second start without command line"
                                                        : "second start with " + Narrow(arguments);
            Process second;
            if (!Started(c, arguments, second, label + ": ")) {
                continue;
            }
            const ULONGLONG began = GetTickCount64();
            // Watches, while it runs, for a window of its own: a second main window (which
            // would carry a second icon) or a dialog.
            bool ownWindow = false;
            while (second.Running() && GetTickCount64() - began < 30000) {
                ownWindow = ownWindow || CountMainWindows() > 1 ||
                            FindProcessWindow(second.id, L"#32770") != NULL;
                WaitForSingleObject(second.handle, 5);
            }
            c.Check(!ownWindow, label + " created a window of its own");
            DWORD code = 0;
            if (c.Check(second.Ended(code, 0), label + " did not end")) {
                c.Check(code == 0, label + ": exit code " + std::to_string(code));
                printf("# %s ended in %llu ms\n", label.c_str(), GetTickCount64() - began);
            }
            c.Check(MainWindow() == window, label + ": the first's window changed");
            c.Check(CountMainWindows() == 1, label + ": more than one main window");
            c.Check(HasIcon(window), label + ": the first's icon is gone");
            c.Check(!HasIcon(window, kIconId + 1), label + ": a second icon appeared");
            c.Check(first.Running(), label + ": the first copy ended");
            // Only the first copy's add so far.
            CheckIconCalls(c, first, window, false);
        }
        PostMessageW(window, kQuitRequest, 0, 0);
        CheckEnd(c, first, 0, window);
    }
    // The named mutex turns a start away by itself, whoever holds it: here the driver, while
    // no copy runs, so that no window of the class is there to do it.
    if (!first.Running()) {
        ClearLogs();
        const std::string label =
            "a start of /W 0:0 while the driver holds \"" + Narrow(kSingleInstanceMutex) + "\"";
        HANDLE mutex = CreateMutexW(NULL, FALSE, kSingleInstanceMutex);
        const DWORD error = GetLastError();
        if (c.Check(mutex != NULL, Failed("CreateMutexW", error))) {
            Process other;
            if (Started(c, L"/W 0:0", other, label + ": ")) {
                DWORD code = 0;
                if (c.Check(other.Ended(code), label + " did not end")) {
                    c.Check(code == 0, label + ": exit code " + std::to_string(code));
                }
                const std::string log = ReadLog();
                c.Check(log.empty(), label + " suspended: \"" + OneLine(log) + "\"");
                c.Check(ReadIconCalls().empty(), label + " added a notification icon");
            }
            CloseHandle(mutex);
        }
    }
    Report(c);
}

// Eight starts at once, in several rounds: exactly one copy keeps running, with one window
// and one icon, and every other start exits 0.
void SimultaneousStarts() {
    Case c("eight simultaneous starts of /W 1:0, three rounds: one copy runs with one window and "
           "icon, the seven others exit 0; the quit request ends it with 0");
    const int kStarts = 8;
    for (int round = 1; round <= 3 && c.problems.empty(); ++round) {
        const std::string label = "round " + std::to_string(round) + ": ";
        ClearLogs();
        Process copies[kStarts];
        for (Process& copy : copies) {
            Started(c, L"/W 1:0", copy, label);
        }
        // All but one end by themselves; the survivor shows its window and icon.
        const auto running = [&] {
            int count = 0;
            for (const Process& copy : copies) {
                count += copy.Running() ? 1 : 0;
            }
            return count;
        };
        HWND window = NULL;
        WaitFor([&] { return running() <= 1 && (window = MainWindow()) != NULL; });
        c.Check(running() == 1, label + std::to_string(running()) + " copies run");
        c.Check(window != NULL && WaitFor([&] { return HasIcon(window); }), label + "no icon");
        // A copy that got as far as its own window would still be busy with it now.
        Sleep(1000);
        c.Check(running() == 1 && CountMainWindows() == 1,
                label + std::to_string(running()) + " copies and " +
                    std::to_string(CountMainWindows()) + " main windows after a second");
        int survivor = -1;
        for (int i = 0; i < kStarts; ++i) {
            DWORD code = 0;
            if (copies[i].Running()) {
                survivor = i;
            } else if (copies[i].Ended(code, 0)) {
                c.Check(code == 0, label + "a refused copy exited " + std::to_string(code));
            }
        }
        if (survivor >= 0 && window != NULL) {
            PostMessageW(window, kQuitRequest, 0, 0);
            CheckEnd(c, copies[survivor], 0);
        }
    }
    Report(c);
}

// The shell announces a new notification area: the running copy adds its icon again with the
// same record, and goes on as before.
void IconAddedAgainForANewTaskbar() {
    Case c("\"TaskbarCreated\" sent to the running copy adds its icon again with the same "
           "record; it keeps running and the quit request ends it with 0");
    Process process;
    HWND window = StartArmed(c, process, L"/W 1:30");
    if (window != NULL) {
        Send(window, RegisterWindowMessageW(L"TaskbarCreated"));
        c.Check(process.Running() && MainWindow() == window, "velmot.exe ended");
        c.Check(HasIcon(window), "the icon is gone");
        CheckIconCalls(c, process, window, false, 2);
        Send(window, kQuitRequest);
        CheckEnd(c, process, 0, window, 2);
    }
    Report(c);
}

// A desktop scaled to dpi for the velmot.exe started during a case, with smallIcon its
// small-icon size. Wine takes a process's system DPI from LogPixels under HKCU\Control
// Panel\Desktop when the process starts, so the value reaches the copies started afterwards
// and none of the processes that run already (the driver, the shell). The value that was
// there before comes back at the end.
struct DpiScope {
    bool set = false;
    bool had = false;
    DWORD before = 0;

    DpiScope(DWORD dpi, int smallIcon) {
        DWORD size = sizeof(before);
        DWORD type = 0;
        had = RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels",
                           RRF_RT_REG_DWORD, &type, &before, &size) == ERROR_SUCCESS;
        set = Write(&dpi);
        iconPixels = smallIcon;
    }
    ~DpiScope() {
        Write(had ? &before : NULL);
        iconPixels = 16;
    }
    // Sets the value, or deletes it when value is null.
    static bool Write(const DWORD* value) {
        HKEY key = NULL;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, NULL, 0, KEY_SET_VALUE,
                            NULL, &key, NULL) != ERROR_SUCCESS) {
            return false;
        }
        const LSTATUS status =
            value != NULL ? RegSetValueExW(key, L"LogPixels", 0, REG_DWORD,
                                           reinterpret_cast<const BYTE*>(value), sizeof(*value))
                          : RegDeleteValueW(key, L"LogPixels");
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
};

// On a desktop scaled to 150 % the notification area shows 24 x 24 icons: the icon is added
// at that size, drawn for it (CheckIconCalls), not the 16 x 16 image to be blown up.
void IconAtHighDpi() {
    Case c("at 150 % (144 DPI) the icon is added as a 24 x 24 image with alpha, the small-icon "
           "size; the quit request ends it with 0");
    DpiScope scaled(144, 24);
    if (c.Check(scaled.set, "cannot set LogPixels")) {
        Process process;
        HWND window = StartArmed(c, process, L"/W 1:30");
        if (window != NULL) {
            PostMessageW(window, kQuitRequest, 0, 0);
            CheckEnd(c, process, 0, window);
        }
        for (const IconCall& call : ReadIconCalls()) {
            if (call.operation == "NIM_ADD") {
                printf("# at 144 DPI the icon was added with the image %s\n",
                       call.Field("image").c_str());
            }
        }
    }
    Report(c);
}

void CloseIsIgnored() {
    Case c("WM_CLOSE is ignored: window and icon stay");
    Process process;
    HWND window = StartArmed(c, process, L"/W 1:30");
    if (window != NULL) {
        Send(window, WM_CLOSE);
        c.Check(IsWindow(window) && MainWindow() == window, "the window is gone");
        c.Check(HasIcon(window), "the icon is gone");
        c.Check(process.Running(), "velmot.exe ended");
        PostMessageW(window, kQuitRequest, 0, 0);
        CheckEnd(c, process, 0, window);
    }
    Report(c);
}

void EndsOnMessage(const char* name, UINT message, WPARAM wParam, int suspensions) {
    Case c(name);
    Process process;
    HWND window = StartArmed(c, process, L"/W 1:30");
    if (window != NULL) {
        PostMessageW(window, message, wParam, 0);
        CheckEnd(c, process, suspensions, window);
    }
    Report(c);
}

// The first dialog window of the process, once it is there; null when the process ends
// without one, or after the time-out.
HWND WaitForDialog(const Process& process) {
    HWND dialog = NULL;
    WaitFor([&] {
        return (dialog = FindProcessWindow(process.id, L"#32770")) != NULL || !process.Running();
    });
    return dialog;
}

// Checks the settings dialog as the program shows it first: at-time mode, all zeros.
void CheckFirstDialog(Case& c, HWND dialog) {
    c.Check(Text(dialog) == L"Set", "caption \"" + Narrow(Text(dialog)) + "\", not \"Set\"");
    c.Check(Text(GetDlgItem(dialog, IDC_TIME_RADIO)) == L"Time to suspend",
            "radio " + std::to_string(IDC_TIME_RADIO) + "'s text");
    c.Check(Text(GetDlgItem(dialog, IDC_WAIT_RADIO)) == L"Wait to suspend",
            "radio " + std::to_string(IDC_WAIT_RADIO) + "'s text");
    c.Check(IsChecked(dialog, IDC_TIME_RADIO), "\"Time to suspend\" is not checked");
    c.Check(!IsChecked(dialog, IDC_WAIT_RADIO), "\"Wait to suspend\" is checked");
    const int edits[] = {IDC_TIME_HOUR, IDC_TIME_MINUTE, IDC_WAIT_HOURS, IDC_WAIT_MINUTES};
    for (int id : edits) {
        const std::wstring text = Text(GetDlgItem(dialog, id));
        c.Check(text == L"0", "edit " + std::to_string(id) + " shows \"" + Narrow(text) + "\"");
    }
    c.Check(IsWindowEnabled(GetDlgItem(dialog, IDC_TIME_HOUR)) &&
                IsWindowEnabled(GetDlgItem(dialog, IDC_TIME_MINUTE)),
            "the time edits are disabled");
    c.Check(!IsWindowEnabled(GetDlgItem(dialog, IDC_WAIT_HOURS)) &&
                !IsWindowEnabled(GetDlgItem(dialog, IDC_WAIT_MINUTES)),
            "the wait edits are enabled");
}

RECT WorkArea(HWND window) {
    MONITORINFO monitor;
    ZeroMemory(&monitor, sizeof(monitor));
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

std::string Describe(const RECT& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

// Checks that the template's edits write in the desktop's message font, which the dialog
// gives all its controls: five digits in each take the width that the driver measures in that
// font; in the template's own font they take more. (The font is known by its measure because Wine
// does not pass WM_GETFONT between processes; both processes see the same display, at 96 DPI.) Each
// edit shows its own text again afterwards.
void CheckEditFont(Case& c, HWND dialog) {
    const wchar_t digits[] = L"00000";
    const int last = static_cast<int>(wcslen(digits)) - 1;
    NONCLIENTMETRICSW metrics;
    ZeroMemory(&metrics, sizeof(metrics));
    metrics.cbSize = sizeof(metrics);
    const BOOL read = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    const DWORD error = GetLastError();
    if (!c.Check(read, Failed("SystemParametersInfoW(SPI_GETNONCLIENTMETRICS)", error))) {
        return;
    }
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HDC context = GetDC(NULL);
    SIZE extent = {0, 0};
    if (font != NULL && context != NULL) {
        HGDIOBJ previous = SelectObject(context, font);
        GetTextExtentPoint32W(context, digits, last, &extent);
        SelectObject(context, previous);
    }
    if (context != NULL) {
        ReleaseDC(NULL, context);
    }
    if (font != NULL) {
        DeleteObject(font);
    }
    const std::string fontName = Narrow(metrics.lfMessageFont.lfFaceName) + " " +
                                 std::to_string(metrics.lfMessageFont.lfHeight);
    if (!c.Check(extent.cx > 0, "the message font " + fontName + " cannot be measured")) {
        return;
    }
    const int edits[] = {IDC_TIME_HOUR, IDC_TIME_MINUTE, IDC_WAIT_HOURS, IDC_WAIT_MINUTES};
    for (int id : edits) {
        HWND edit = GetDlgItem(dialog, id);
        const std::wstring shown = Text(edit);
        Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(digits));
        // The left edges of the first and the last digit, in client coordinates.
        const LRESULT first = Send(edit, EM_POSFROMCHAR, 0);
        const LRESULT end = Send(edit, EM_POSFROMCHAR, last);
        Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
        const int width = static_cast<short>(LOWORD(end)) - static_cast<short>(LOWORD(first));
        c.Check(abs(width - extent.cx) <= 1,
                "edit " + std::to_string(id) + ": " + std::to_string(last) + " digits take " +
                    std::to_string(width) + " pixels, not " + std::to_string(extent.cx) +
                    " as in the message font " + fontName);
    }
}

// The desktop's equivalent of the device's full-screen dialog: a dialog window with a title
// bar but no close box, small and centred on the work area, in the foreground, with Done the
// default push button at its bottom right, below and right of every other control.
void CheckDialogWindow(Case& c, HWND dialog) {
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    c.Check((style & WS_CAPTION) == WS_CAPTION, "the dialog has no title bar");
    c.Check((style & WS_SYSMENU) == 0, "the dialog has a system menu (and a close box)");
    c.Check(WaitFor([&] { return GetForegroundWindow() == dialog; }, 10000),
            "the dialog is not in the foreground");

    const RECT area = WorkArea(dialog);
    RECT frame;
    GetWindowRect(dialog, &frame);
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    c.Check(width > 0 && height > 0 && width < (area.right - area.left) / 2 &&
                height < (area.bottom - area.top) / 2,
            "the dialog " + Describe(frame) + " is not well below the work area " + Describe(area));
    c.Check(labs((frame.left + frame.right) - (area.left + area.right)) <= 2 &&
                labs((frame.top + frame.bottom) - (area.top + area.bottom)) <= 2,
            "the dialog " + Describe(frame) + " is not centred on the work area " + Describe(area));

    HWND done = GetDlgItem(dialog, IDOK);
    if (!c.Check(done != NULL, "no control with id 1 (Done)")) {
        return;
    }
    c.Check(Text(done) == L"Done", "button 1 says \"" + Narrow(Text(done)) + "\"");
    c.Check((GetWindowLongW(done, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
            "Done is not the default push button");
    c.Check(Send(dialog, DM_GETDEFID) == MAKELONG(IDOK, DC_HASDEFID),
            "the dialog's default button is not 1");
    // The client area in screen coordinates.
    RECT client;
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, NULL, reinterpret_cast<POINT*>(&client), 2);
    RECT button;
    GetWindowRect(done, &button);
    const LONG clientWidth = client.right - client.left;
    const LONG clientHeight = client.bottom - client.top;
    c.Check(button.right < client.right && button.right > client.right - clientWidth / 8 &&
                button.bottom < client.bottom && button.bottom > client.bottom - clientHeight / 8,
            "Done " + Describe(button) + " is not at the bottom right of " + Describe(client));
    RECT bounds;
    SetRectEmpty(&bounds);
    for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL;
         control = GetWindow(control, GW_HWNDNEXT)) {
        RECT rect;
        GetWindowRect(control, &rect);
        UnionRect(&bounds, &bounds, &rect);
        const std::string name = "control " + std::to_string(GetDlgCtrlID(control));
        c.Check(rect.left > client.left && rect.top > client.top && rect.right < client.right &&
                    rect.bottom < client.bottom,
                name + " " + Describe(rect) + " is not inside the margin of " + Describe(client));
        if (control != done) {
            c.Check(rect.bottom <= button.top && rect.right <= button.right,
                    name + " " + Describe(rect) + " is below or right of Done " + Describe(button));
        }
    }
    CheckEditFont(c, dialog);
    // The margin is the same on the left and right, and above and below, but for a pixel of
    // rounding: a window sized without its frame would cut it on one side.
    const LONG left = bounds.left - client.left;
    const LONG right = client.right - bounds.right;
    const LONG top = bounds.top - client.top;
    const LONG bottom = client.bottom - bounds.bottom;
    c.Check(labs(left - right) <= 2 && labs(top - bottom) <= 2,
            "the controls " + Describe(bounds) + " have margins of " + std::to_string(left) +
                " (left), " + std::to_string(right) + " (right), " + std::to_string(top) +
                " (top) and " + std::to_string(bottom) + " (bottom) pixels in " + Describe(client));
}

// Presses and releases a key; it goes to the foreground window.
void PressKey(BYTE key) {
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

void DialogAtStart() {
    Case c("without a command line the settings dialog opens (Set, time mode, zeros) as a "
           "small centred window in the foreground, Done its default button at the bottom right; "
           "wait mode and Enter with 0 and 0 suspend once and exit 0");
    Process process;
    if (Started(c, NULL, process)) {
        HWND dialog = WaitForDialog(process);
        if (c.Check(dialog != NULL, "no settings dialog appeared")) {
            HWND window = MainWindow();
            c.Check(window != NULL, "no main window");
            c.Check(window != NULL && HasIcon(window), "no notification icon");
            CheckFirstDialog(c, dialog);
            CheckDialogWindow(c, dialog);
            Send(GetDlgItem(dialog, IDC_WAIT_RADIO), BM_CLICK);
            c.Check(IsChecked(dialog, IDC_WAIT_RADIO),
                    "\"Wait to suspend\" not checked after a click");
            c.Check(IsWindowEnabled(GetDlgItem(dialog, IDC_WAIT_HOURS)) &&
                        IsWindowEnabled(GetDlgItem(dialog, IDC_WAIT_MINUTES)),
                    "the wait edits stay disabled after the click");
            c.Check(!IsWindowEnabled(GetDlgItem(dialog, IDC_TIME_HOUR)) &&
                        !IsWindowEnabled(GetDlgItem(dialog, IDC_TIME_MINUTE)),
                    "the time edits stay enabled after the click");
            // Enter confirms, as Done does.
            if (GetForegroundWindow() == dialog) {
                PressKey(VK_RETURN);
            }
            if (!c.Check(WaitFor([&] { return !IsWindow(dialog); }, 10000),
                         "Enter did not confirm the dialog")) {
                Send(GetDlgItem(dialog, IDOK), BM_CLICK);
            }
            CheckEnd(c, process, 1, window);
        }
    }
    Report(c);
}

void SetShowsCountdown() {
    Case c("Set (40001) opens the dialog window in wait mode with the time left (1:30); Done "
           "keeps it running without suspending");
    Process process;
    HWND window = StartArmed(c, process, L"/W 1:30");
    if (window != NULL) {
        PostMessageW(window, WM_COMMAND, kMenuSet, 0);
        HWND dialog = WaitForDialog(process);
        if (c.Check(dialog != NULL, "no settings dialog appeared")) {
            c.Check(IsChecked(dialog, IDC_WAIT_RADIO), "\"Wait to suspend\" is not checked");
            c.Check(!IsChecked(dialog, IDC_TIME_RADIO), "\"Time to suspend\" is checked");
            const std::wstring hours = Text(GetDlgItem(dialog, IDC_WAIT_HOURS));
            const std::wstring minutes = Text(GetDlgItem(dialog, IDC_WAIT_MINUTES));
            // A minute may have gone by since the start.
            c.Check(hours == L"1" && (minutes == L"30" || minutes == L"29"),
                    "the dialog shows " + Narrow(hours) + ":" + Narrow(minutes));
            c.Check(IsWindowEnabled(GetDlgItem(dialog, IDC_WAIT_HOURS)) != FALSE,
                    "the wait edits are disabled");
            CheckDialogWindow(c, dialog);
            Send(GetDlgItem(dialog, IDOK), BM_CLICK);
            c.Check(WaitFor([&] { return !IsWindow(dialog); }), "the dialog stays open");
            c.Check(process.Running() && MainWindow() == window, "velmot.exe ended");
            c.Check(HasIcon(window), "the icon is gone");
            c.Check(ReadLog().empty(), "it suspended");
        }
        PostMessageW(window, kQuitRequest, 0, 0);
        CheckEnd(c, process, 0, window);
    }
    Report(c);
}

// ---- Computers that sleep in different ways ---------------------------------------------
// The stand-in powrprof.dll plays the computer named by VELMOT_TEST_MACHINE: S3 unless a case
// chooses another.

struct Machine {
    const wchar_t* name; // VELMOT_TEST_MACHINE
    const char* description;
    int suspensions; // SetSuspendState calls expected, each logged as line
    const char* line;
    int displayOffs;     // display-off broadcasts expected
    DWORD reportedError; // the system error that the failure report gives; 0: no report
    DWORD exitCode;
    bool withoutShutdownPrivilege; // velmot.exe runs with a token that lacks the privilege
};

const Machine kMachines[] = {
    {L"s3", "S3: one SetSuspendState(0, 0, 0) with the shutdown privilege enabled, exit 0", 1,
     kSuspendLine, 0, 0, 0, false},
    {L"modern-standby",
     "Modern Standby: one display-off broadcast, no SetSuspendState, no report, exit 0", 0,
     kSuspendLine, 1, 0, 0, false},
    {L"hibernate-only",
     "hibernation only: no power call, one report after the window is gone, exit 1", 0,
     kSuspendLine, 0, ERROR_NOT_SUPPORTED, 1, false},
    {L"s3-failing", "S3 failing: one SetSuspendState, one report of its error, exit 1", 1,
     "SetSuspendState 0 0 0 privilege=enabled failed 31\n", 0, ERROR_GEN_FAILURE, 1, false},
    {L"s3",
     "S3, started without the shutdown privilege: no SetSuspendState, one report that the "
     "privilege is not held, exit 1",
     0, kSuspendLine, 0, ERROR_PRIVILEGE_NOT_HELD, 1, true},
    {L"no-library",
     "a system folder whose powrprof.dll cannot be loaded: no power call, one report of the "
     "load's error, exit 1",
     0, kSuspendLine, 0, ERROR_DLL_INIT_FAILED, 1, false},
};

// The account that velmot.exe runs as: the driver's own, or one whose token lacks the
// shutdown privilege, as for a user whom the computer's policy denies it. That token is the
// driver's own with the privilege deleted, which CreateProcessAsUserW takes without further
// privileges, being a restricted version of the caller's. (Wine's CreateRestrictedToken
// deletes the privileges it is given but ignores the flag DISABLE_MAX_PRIVILEGE, so the
// privilege is named.)
struct Account {
    Launch launch;
    std::string failure; // the failed call, when the token could not be made

    explicit Account(bool withoutShutdownPrivilege) {
        if (!withoutShutdownPrivilege) {
            return;
        }
        HANDLE own = NULL;
        if (!OpenProcessToken(GetCurrentProcess(),
                              TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &own)) {
            failure = Failed("OpenProcessToken", GetLastError());
            return;
        }
        LUID_AND_ATTRIBUTES shutdown;
        ZeroMemory(&shutdown, sizeof(shutdown));
        if (!LookupPrivilegeValueW(NULL, SE_SHUTDOWN_NAME, &shutdown.Luid)) {
            failure = Failed("LookupPrivilegeValueW", GetLastError());
        } else if (!CreateRestrictedToken(own, 0, 0, NULL, 1, &shutdown, 0, NULL, &launch.token)) {
            failure = Failed("CreateRestrictedToken", GetLastError());
            launch.token = NULL;
        }
        CloseHandle(own);
    }
    ~Account() {
        if (launch.token != NULL) {
            CloseHandle(launch.token);
        }
    }
    Account(const Account&) = delete;
    Account& operator=(const Account&) = delete;
};

// Plays another computer for the rest of a case.
struct MachineScope {
    explicit MachineScope(const wchar_t* name) {
        SetEnvironmentVariableW(L"VELMOT_TEST_MACHINE", name);
    }
    ~MachineScope() {
        SetEnvironmentVariableW(L"VELMOT_TEST_MACHINE", L"s3");
    }
};

int displayOffRequests = 0;

LRESULT CALLBACK DisplayWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MONITORPOWER) {
        if (lParam == 2) {
            ++displayOffRequests;
        }
        // The display of the machine that runs the tests stays on.
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window of the driver that counts requests to turn the display off, for
// the length of one case. Broadcasts reach it while the driver pumps messages (PumpUntil).
struct DisplayWatch {
    HWND window = NULL;
    std::string failure; // the failed call, when there is no window

    DisplayWatch() {
        static const ATOM windowClass = [] {
            WNDCLASSW attributes;
            ZeroMemory(&attributes, sizeof(attributes));
            attributes.lpfnWndProc = DisplayWatchProc;
            attributes.hInstance = GetModuleHandleW(NULL);
            attributes.lpszClassName = L"VelmotTestDisplayWatch";
            return RegisterClassW(&attributes);
        }();
        displayOffRequests = 0;
        window = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                 GetModuleHandleW(NULL), NULL);
        if (window == NULL) {
            failure = Failed("CreateWindowExW(VelmotTestDisplayWatch)", GetLastError());
        }
    }
    ~DisplayWatch() {
        if (window != NULL) {
            DestroyWindow(window);
        }
    }
};

// WaitFor, with the driver's own messages flowing meanwhile.
template <typename Condition> bool PumpUntil(Condition condition, DWORD timeout = kTimeout) {
    const ULONGLONG end = GetTickCount64() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, kPoll, QS_ALLINPUT);
    }
}

// The texts of a window's controls, one after the other.
std::wstring ControlTexts(HWND window) {
    std::wstring texts;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM all) -> BOOL {
            *reinterpret_cast<std::wstring*>(all) += Text(child) + L"\n";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// velmot.exe's report that the computer could not sleep: a message box of its own.
HWND FindReport(const Process& process) {
    return FindProcessWindow(process.id, L"#32770");
}

// Waits for the report, checks it while it stays on screen, and dismisses it; then waits
// for velmot.exe to end, dismissing any further report.
void CheckReport(Case& c, Process& process, DWORD error) {
    HWND report = NULL;
    PumpUntil([&] { return (report = FindReport(process)) != NULL || !process.Running(); });
    if (!c.Check(report != NULL, "no report appeared")) {
        return;
    }
    c.Check(MainWindow() == NULL, "the report appeared while the main window was there");
    c.Check(Text(report) == L"Velmot", "report caption \"" + Narrow(Text(report)) + "\"");
    // In front of the other windows, although velmot.exe has no window left. (Wine ignores
    // MB_TOPMOST, so the report's style cannot be checked here.)
    c.Check(PumpUntil([&] { return GetForegroundWindow() == report; }, 5000),
            "the report is not the foreground window");
    // It waits for the user: a quit message left in the queue would have closed it at once.
    PumpUntil([] { return false; }, 2000);
    if (!c.Check(IsWindow(report) && IsWindowVisible(report), "the report closed by itself")) {
        return;
    }
    const std::wstring texts = ControlTexts(report);
    c.Check(texts.find(L"The computer could not be put to sleep.") != std::wstring::npos,
            "the report says \"" + OneLine(Narrow(texts)) + "\"");
    const std::wstring reason = SystemMessage(error);
    c.Check(!reason.empty() && texts.find(reason) != std::wstring::npos,
            "the report does not give the reason \"" + Narrow(reason) + "\"");
    PostMessageW(report, WM_COMMAND, IDOK, 0);
    int reports = 1;
    PumpUntil([&] {
        HWND shown = FindReport(process);
        if (shown != NULL && shown != report) {
            ++reports;
            report = shown;
            PostMessageW(shown, WM_COMMAND, IDOK, 0);
        }
        return !process.Running();
    });
    c.Check(reports == 1, std::to_string(reports) + " reports");
}

// What follows the sleep request on the given computer: the report, if any, the broadcasts
// seen, and the end.
void CheckSleep(Case& c, Process& process, const Machine& machine) {
    if (machine.reportedError != 0) {
        CheckReport(c, process, machine.reportedError);
    } else {
        HWND report = NULL;
        PumpUntil([&] { return (report = FindReport(process)) != NULL || !process.Running(); });
        if (!c.Check(report == NULL,
                     "a report appeared: \"" + OneLine(Narrow(ControlTexts(report))) + "\"")) {
            PostMessageW(report, WM_COMMAND, IDOK, 0);
            PumpUntil([&] { return !process.Running(); });
        }
    }
    c.Check(displayOffRequests == machine.displayOffs, std::to_string(displayOffRequests) +
                                                           " display-off broadcasts seen, not " +
                                                           std::to_string(machine.displayOffs));
    CheckEnd(c, process, machine.suspensions, NULL, 1, machine.exitCode, machine.line);
}

void SleepsAtStart(const Machine& machine) {
    Case c(("/W 0:0 on " + std::string(machine.description)).c_str());
    MachineScope playing(machine.name);
    const Account account(machine.withoutShutdownPrivilege);
    DisplayWatch watch;
    Process process;
    if (c.Check(account.failure.empty(), account.failure) &&
        c.Check(watch.window != NULL, watch.failure) &&
        Started(c, L"/W 0:0", process, "", account.launch)) {
        CheckSleep(c, process, machine);
    }
    Report(c);
}

void SleepsFromMenu(const Machine& machine) {
    Case c(("menu Suspend during /W 1:30 on " + std::string(machine.description)).c_str());
    MachineScope playing(machine.name);
    const Account account(machine.withoutShutdownPrivilege);
    Process process;
    HWND window = c.Check(account.failure.empty(), account.failure)
                      ? StartArmed(c, process, L"/W 1:30", account.launch)
                      : NULL;
    if (window != NULL) {
        DisplayWatch watch;
        if (c.Check(watch.window != NULL, watch.failure)) {
            PostMessageW(window, WM_COMMAND, kMenuSuspend, 0);
            CheckSleep(c, process, machine);
        }
    }
    Report(c);
}

// The user clicks the notification icon with a mouse button: the cursor is on the icon, and
// the icon reports the button's release to the main window.
void ClickIcon(HWND window, POINT point, UINT buttonUp) {
    SetCursorPos(point.x, point.y);
    PostMessageW(window, kTrayNotify, kIconId, buttonUp);
}

// Dismisses a tracked menu as a click elsewhere would.
void DismissMenu(HWND owner) {
    PostMessageW(owner, WM_CANCELMODE, 0, 0);
    PressKey(VK_ESCAPE);
}

void MenuAtClick(const char* name, UINT buttonUp) {
    Case c(name);
    Process process;
    HWND window = StartArmed(c, process, L"/W 1:30");
    if (window != NULL) {
        // A point well inside the work area, far from the hidden main window's bottom-right
        // corner, where the device opens the menu.
        const RECT area = WorkArea(window);
        RECT hidden;
        GetWindowRect(window, &hidden);
        POINT click = {area.left + (area.right - area.left) / 3,
                       area.top + (area.bottom - area.top) / 3};
        if (labs(click.x - hidden.right) < 100 && labs(click.y - hidden.bottom) < 100) {
            click.x += 200;
            click.y += 200;
        }
        ClickIcon(window, click, buttonUp);
        HWND menu = NULL;
        WaitFor([&] { return (menu = FindProcessWindow(process.id, L"#32768")) != NULL; }, 10000);
        if (c.Check(menu != NULL, "no menu appeared")) {
            RECT rect;
            GetWindowRect(menu, &rect);
            const std::string where = "the menu " + Describe(rect) + " for a click at (" +
                                      std::to_string(click.x) + "," + std::to_string(click.y) + ")";
            c.Check(labs(rect.right - click.x) <= 2 && labs(rect.bottom - click.y) <= 2,
                    where + " does not end at the click");
            c.Check(rect.left < rect.right && rect.top < rect.bottom, where + " is empty");
            DismissMenu(window);
            c.Check(
                WaitFor([&] { return FindProcessWindow(process.id, L"#32768") == NULL; }, 10000),
                "the menu stays after it was dismissed");
        }
        // A dismissed menu changes nothing.
        Send(window, WM_NULL);
        c.Check(process.Running() && MainWindow() == window, "velmot.exe ended");
        c.Check(HasIcon(window), "the icon is gone");
        c.Check(FindProcessWindow(process.id, L"#32770") == NULL, "a dialog opened");
        c.Check(ReadLog().empty(), "it suspended");
        PostMessageW(window, kQuitRequest, 0, 0);
        CheckEnd(c, process, 0);
    }
    Report(c);
}

// ---- The program file ------------------------------------------------------------------

std::string Lower(std::string text) {
    for (char& unit : text) {
        unit = static_cast<char>(tolower(static_cast<unsigned char>(unit)));
    }
    return text;
}

// The text of velmot.exe's application manifest (resource 1 of type RT_MANIFEST); empty,
// with the report of the failed call in failure, when it cannot be read.
std::string ManifestText(std::string& failure) {
    std::string text;
    HMODULE module = LoadLibraryExW(programPath.c_str(), NULL,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == NULL) {
        failure = Failed("LoadLibraryExW(velmot.exe)", GetLastError());
        return text;
    }
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    if (resource == NULL) {
        failure = Failed("FindResourceW(1, RT_MANIFEST)", GetLastError());
    }
    HGLOBAL loaded = resource != NULL ? LoadResource(module, resource) : NULL;
    if (resource != NULL && loaded == NULL) {
        failure = Failed("LoadResource", GetLastError());
    }
    const char* bytes = loaded != NULL ? static_cast<const char*>(LockResource(loaded)) : NULL;
    if (bytes != NULL) {
        text.assign(bytes, SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

// The value of an attribute of the first element of the given name in an XML text; empty when
// either is missing.
std::string AttributeValue(const std::string& xml, const std::string& element,
                           const std::string& attribute) {
    const size_t start = xml.find("<" + element);
    if (start == std::string::npos) {
        return "";
    }
    const std::string tag = xml.substr(start, xml.find('>', start) - start);
    const std::string key = " " + attribute + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) {
        return "";
    }
    const size_t value = at + key.size();
    return tag.substr(value, tag.find('"', value) - value);
}

// A string of velmot.exe's version information, in the language it declares.
std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = NULL;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation)) {
        return L"";
    }
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
             translation->codePage, name);
    wchar_t* value = NULL;
    if (!VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &length) ||
        value == NULL) {
        return L"";
    }
    return value;
}

// Whether the running program has loaded version 6 of the common controls, which only its
// manifest can ask for; when its modules cannot be listed, false with the report of the
// failed call in failure.
bool UsesCommonControls6(DWORD processId, std::string& failure) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == NULL) {
        failure = Failed("OpenProcess", GetLastError());
        return false;
    }
    HMODULE modules[512];
    DWORD size = 0;
    bool found = false;
    if (!EnumProcessModules(process, modules, sizeof(modules), &size)) {
        failure = Failed("EnumProcessModules", GetLastError());
    } else {
        for (DWORD i = 0; i < size / sizeof(HMODULE) && i < 512; ++i) {
            wchar_t path[MAX_PATH] = {0};
            GetModuleFileNameExW(process, modules[i], path, MAX_PATH);
            const std::string name = Lower(Narrow(path));
            found = found || (name.find("microsoft.windows.common-controls") != std::string::npos &&
                              name.find("\\comctl32.dll") != std::string::npos);
        }
    }
    CloseHandle(process);
    return found;
}

void ManifestAndVersion() {
    Case c("velmot.exe carries its manifest (common controls 6, per-monitor v2 DPI awareness "
           "with dpiAware, Windows 7 to 11, asInvoker) and its version information "
           "(" VELMOT_VERSION_TEXT "), and runs with the common controls 6");
    std::string failure = "no manifest resource 1";
    const std::string manifest = ManifestText(failure);
    if (c.Check(!manifest.empty(), failure)) {
        const char* const needed[] = {
            "name=\"Microsoft.Windows.Common-Controls\"",
            "version=\"6.0.0.0\"",
            "publicKeyToken=\"6595b64144ccf1df\"",
            "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
            "PerMonitorV2",
            "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true<",
            "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // Windows 8
            "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // Windows 8.1
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
            "<requestedExecutionLevel level=\"asInvoker\"",
        };
        for (const char* text : needed) {
            c.Check(manifest.find(text) != std::string::npos,
                    std::string("the manifest lacks ") + text);
        }
        // Windows refuses to start a program that asks for uiAccess unless it is signed and
        // installed in a protected folder.
        const std::string uiAccess =
            Lower(AttributeValue(manifest, "requestedExecutionLevel", "uiAccess"));
        c.Check(uiAccess.empty() || uiAccess == "false",
                "the manifest asks for uiAccess=\"" + uiAccess + "\"");
        const std::string identity =
            "name=\"Velmot\" version=\"" + std::string(VELMOT_VERSION_TEXT) + ".0\"";
        c.Check(manifest.find(identity) != std::string::npos, "the manifest lacks " + identity);
    }

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(programPath.c_str(), &handle);
    failure = Failed("GetFileVersionInfoSizeW", GetLastError());
    std::vector<BYTE> info(size);
    bool read = size > 0;
    if (read) {
        read = GetFileVersionInfoW(programPath.c_str(), 0, size, info.data()) != FALSE;
        failure = Failed("GetFileVersionInfoW", GetLastError());
    }
    if (c.Check(read, "no version information: " + failure)) {
        const std::wstring version = Wide(VELMOT_VERSION_TEXT);
        const std::wstring description = VersionString(info, L"FileDescription");
        c.Check(description.find(L"Velmot") != std::wstring::npos,
                "FileDescription \"" + Narrow(description) + "\"");
        c.Check(VersionString(info, L"ProductName") == L"Velmot",
                "ProductName \"" + Narrow(VersionString(info, L"ProductName")) + "\"");
        c.Check(VersionString(info, L"FileVersion") == version,
                "FileVersion \"" + Narrow(VersionString(info, L"FileVersion")) + "\"");
        c.Check(VersionString(info, L"ProductVersion") == version,
                "ProductVersion \"" + Narrow(VersionString(info, L"ProductVersion")) + "\"");
        VS_FIXEDFILEINFO* fixed = NULL;
        UINT length = 0;
        c.Check(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
                    fixed != NULL &&
                    fixed->dwFileVersionMS ==
                        static_cast<DWORD>(MAKELONG(VELMOT_VERSION_MINOR, VELMOT_VERSION_MAJOR)) &&
                    fixed->dwFileVersionLS ==
                        static_cast<DWORD>(MAKELONG(0, VELMOT_VERSION_PATCH)) &&
                    fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
                    fixed->dwProductVersionLS == fixed->dwFileVersionLS,
                "the fixed file and product versions are not " + std::string(VELMOT_VERSION_TEXT));
    }

    Process process;
    HWND window = StartArmed(c, process, L"/W 1:30");
    if (window != NULL) {
        failure.clear();
        const bool loaded = UsesCommonControls6(process.id, failure);
        c.Check(loaded, "velmot.exe has not loaded the common controls 6" +
                            (failure.empty() ? "" : ": " + failure));
        PostMessageW(window, kQuitRequest, 0, 0);
        CheckEnd(c, process, 0);
    }
    Report(c);
}

// The desktop's icon as Explorer finds it: velmot.exe's first icon group, the first that
// EnumResourceNamesW lists (in the order of the resource directory), holds the picture in
// 32-bit colour with alpha at the notification area's sizes from 100 % to 300 %, each image
// PNG-compressed.
void DesktopIconFirst() {
    Case c(("velmot.exe's first icon group is the desktop's (" + std::to_string(IDI_DESKTOP) +
            "): 16, 20, 24, 32, 40 and 48 pixels, each a 32-bit PNG image with alpha")
               .c_str());
    HMODULE module = LoadLibraryExW(programPath.c_str(), NULL,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!c.Check(module != NULL, "cannot read velmot.exe's resources")) {
        Report(c);
        return;
    }
    std::vector<std::string> groups;
    EnumResourceNamesW(
        module, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::vector<std::string>*>(found)->push_back(
                IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name))
                                     : "\"" + Narrow(name) + "\"");
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&groups));
    std::string order;
    for (const std::string& group : groups) {
        order += (order.empty() ? "" : ", ") + group;
    }
    c.Check(!groups.empty() && groups[0] == std::to_string(IDI_DESKTOP),
            "the icon groups are, in order: " + order);

    // A resource's bytes; empty when it is missing.
    auto bytes = [&](LPCWSTR type, WORD id) {
        HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        HGLOBAL loaded = resource != NULL ? LoadResource(module, resource) : NULL;
        const BYTE* data = loaded != NULL ? static_cast<const BYTE*>(LockResource(loaded)) : NULL;
        return data != NULL ? std::vector<BYTE>(data, data + SizeofResource(module, resource))
                            : std::vector<BYTE>();
    };
    auto word = [](const std::vector<BYTE>& data, size_t at) {
        return static_cast<unsigned>(data[at] | data[at + 1] << 8);
    };
    auto bigEndian = [](const std::vector<BYTE>& data, size_t at) {
        return static_cast<unsigned>(data[at] << 24 | data[at + 1] << 16 | data[at + 2] << 8 |
                                     data[at + 3]);
    };
    // The group: a 6-byte header (0, type 1, count), then 14 bytes per image: width, height,
    // colours, 0, planes, bits per pixel, size and the id of its RT_ICON resource.
    const std::vector<BYTE> group = bytes(RT_GROUP_ICON, IDI_DESKTOP);
    const size_t count = group.size() >= 6 ? word(group, 4) : 0;
    if (!c.Check(count > 0 && group.size() >= 6 + 14 * count && word(group, 2) == 1,
                 "no icon group " + std::to_string(IDI_DESKTOP))) {
        FreeLibrary(module);
        Report(c);
        return;
    }
    std::string sizes;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 6 + 14 * i;
        const unsigned width = group[at];
        const unsigned bits = word(group, at + 6);
        const std::vector<BYTE> image = bytes(RT_ICON, static_cast<WORD>(word(group, at + 12)));
        const std::string name = "image " + std::to_string(width) + " x " +
                                 std::to_string(group[at + 1]) + " (" + std::to_string(bits) +
                                 " bits)";
        sizes += (sizes.empty() ? "" : ", ") + std::to_string(width);
        c.Check(group[at + 1] == width && bits == 32, name + " is not square with 32 bits");
        // A PNG file: its signature, then the header chunk with width, height, 8 bits per
        // sample and colour type 6 (red, green, blue and alpha).
        const BYTE signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        const bool png = image.size() >= 33 && memcmp(image.data(), signature, 8) == 0 &&
                         memcmp(image.data() + 12, "IHDR", 4) == 0;
        if (c.Check(png, name + " is not a PNG image")) {
            c.Check(bigEndian(image, 16) == width && bigEndian(image, 20) == width &&
                        image[24] == 8 && image[25] == 6,
                    name + " holds a PNG image of " + std::to_string(bigEndian(image, 16)) + " x " +
                        std::to_string(bigEndian(image, 20)) + ", depth " +
                        std::to_string(image[24]) + ", colour type " + std::to_string(image[25]));
        }
    }
    c.Check(sizes == "16, 20, 24, 32, 40, 48", "the images are of " + sizes + " pixels");
    FreeLibrary(module);
    Report(c);
}

int RunCases() {
    ImportsOnlySystemDlls();
    DeleteFileW(plantedLogPath.c_str());
    // The first start in a new prefix is slow; its own case absorbs that.
    SuspendsAtStart("/W 0:0 suspends once during start-up and exits 0", L"/W 0:0");
    SuspendsAtStart("/W suspends once during start-up and exits 0", L"/W");
    Launch bareName;
    bareName.bareName = true;
    SuspendsAtStart("velmot.exe /W 0:0, the name unquoted, suspends once during start-up and "
                    "exits 0",
                    L"/W 0:0", bareName);
    SuspendsAtCurrentTime();
    SecondCopyLeavesFirstAlone();
    SimultaneousStarts();
    IconAddedAgainForANewTaskbar();
    IconAtHighDpi();
    CloseIsIgnored();
    EndsOnMessage("WM_HIBERNATE ends it without suspending", kHibernate, 0, 0);
    EndsOnMessage("menu Suspend (40002) suspends once and ends with 0", WM_COMMAND, kMenuSuspend,
                  1);
    EndsOnMessage("menu Exit (40003) ends it without suspending", WM_COMMAND, kMenuExit, 0);
    DialogAtStart();
    SetShowsCountdown();
    MenuAtClick("a left click on the icon opens the menu with its bottom-right corner at the "
                "cursor; dismissed, it changes nothing",
                WM_LBUTTONUP);
    MenuAtClick("a right click on the icon opens the menu with its bottom-right corner at the "
                "cursor; dismissed, it changes nothing",
                WM_RBUTTONUP);
    ManifestAndVersion();
    DesktopIconFirst();
    for (const Machine& machine : kMachines) {
        SleepsAtStart(machine);
        SleepsFromMenu(machine);
    }
    DllLoadingCases();
    PlantedDllNeverLoaded();
    printf("%d passed, %d failed\n", passed, failed);
    fflush(stdout);
    return failed == 0 ? 0 : 1;
}

// ---- Screenshot helpers ----------------------------------------------------------------

// A point on the notification icon of window, where a user would click it: the icon's own
// rectangle where the shell tells it (Windows 7 and later); otherwise the shell's
// notification area, or the right end of its task bar, where a shell without one (Wine's)
// shows the first icon; otherwise the bottom-right corner of the work area.
POINT IconPoint(HWND window) {
    NOTIFYICONIDENTIFIER icon;
    ZeroMemory(&icon, sizeof(icon));
    icon.cbSize = sizeof(icon);
    icon.hWnd = window;
    icon.uID = kIconId;
    RECT rect;
    if (Shell_NotifyIconGetRect(&icon, &rect) == S_OK && !IsRectEmpty(&rect)) {
        POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        return centre;
    }
    HWND taskBar = FindWindowW(L"Shell_TrayWnd", NULL);
    HWND area = taskBar != NULL ? FindWindowExW(taskBar, NULL, L"TrayNotifyWnd", NULL) : NULL;
    if (area != NULL && GetWindowRect(area, &rect) && !IsRectEmpty(&rect)) {
        POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        return centre;
    }
    if (taskBar != NULL && GetWindowRect(taskBar, &rect) && !IsRectEmpty(&rect)) {
        POINT end = {rect.right - (GetSystemMetrics(SM_CXSMICON) + 4) / 2,
                     (rect.top + rect.bottom) / 2};
        return end;
    }
    rect = WorkArea(window);
    POINT corner = {rect.right - 8, rect.bottom - 8};
    return corner;
}

// Whether a tooltip is on screen.
bool TooltipShown() {
    bool shown = false;
    EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
            wchar_t name[64];
            if (IsWindowVisible(window) && GetClassNameW(window, name, 64) > 0 &&
                lstrcmpiW(name, TOOLTIPS_CLASSW) == 0) {
                *reinterpret_cast<bool*>(found) = true;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    return shown;
}

// Leaves the started process running: the caller takes its picture and ends the session.
int Show(const wchar_t* arguments, bool menu) {
    Process process;
    std::string failure;
    if (!Start(arguments, process, failure)) {
        fprintf(stderr, "driver: cannot start velmot.exe: %s\n", failure.c_str());
        return 1;
    }
    HWND shown = NULL;
    if (menu) {
        HWND window = NULL;
        if (!WaitFor([&] { return (window = MainWindow()) != NULL && HasIcon(window); })) {
            fprintf(stderr, "driver: no main window with an icon\n");
            return 1;
        }
        ClickIcon(window, IconPoint(window), WM_LBUTTONUP);
        WaitFor([&] { return (shown = FindProcessWindow(process.id, L"#32768")) != NULL; });
        // The cursor rests on the icon, so the icon's tooltip shows after a moment; Windows
        // hides it while the menu is open, Wine's stays until its own time-out. The menu stays
        // open meanwhile.
        WaitFor([] { return TooltipShown(); }, 2000);
        WaitFor([] { return !TooltipShown(); }, 15000);
    } else {
        WaitFor([&] { return (shown = FindProcessWindow(process.id, L"#32770")) != NULL; });
    }
    if (shown == NULL) {
        fprintf(stderr, "driver: the %s did not appear\n", menu ? "menu" : "dialog");
        return 1;
    }
    // Leaves time for the first paint.
    Send(shown, WM_NULL);
    CloseHandle(process.handle);
    process.handle = NULL;
    printf("driver: the %s is on screen\n", menu ? "popup menu" : "settings dialog");
    return 0;
}

// Installs the stand-ins where a computer has its power library and its shell, in the Wine
// prefix's system folder, under their real names, and makes Wine load them for velmot.exe
// alone (Wine's per-program DLL overrides; every other process keeps Wine's own, which Wine
// loads from its own files whatever the system folder holds): powrprof=native,builtin, which
// would also let Wine take a powrprof.dll that the search finds in velmot.exe's folder (the
// planted one), and shell32=native. The stand-in shell32 passes its calls on to a copy of
// Wine's own shell32.dll, wineshell32.dll in the system folder, which is made from the
// prefix's file before the stand-in replaces it (once per prefix). WINEDLLOVERRIDES set here
// would not reach velmot.exe: Wine's processes take it from the environment that the first
// one started with. The driver's own shell32 stays Wine's, so its probes of the icon
// (HasIcon) are not in the log. On failure, answers false with the report of the failed call
// in failure.
bool UseStandIns(std::string& failure) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        failure = Failed("GetSystemDirectoryW", GetLastError());
        return false;
    }
    const std::wstring system = std::wstring(folder, length) + L"\\";
    const std::wstring wineShell = system + L"wineshell32.dll";
    if (GetFileAttributesW(wineShell.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !CopyFileW((system + L"shell32.dll").c_str(), wineShell.c_str(), TRUE)) {
        failure =
            Failed(("CopyFileW(shell32.dll, " + Narrow(wineShell) + ")").c_str(), GetLastError());
        return false;
    }
    for (const wchar_t* dll : {L"powrprof.dll", L"shell32.dll"}) {
        const std::wstring from = programDir + L"system32\\" + dll;
        const std::wstring to = system + dll;
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            failure = Failed(("CopyFileW(" + Narrow(from) + ", " + Narrow(to) + ")").c_str(),
                             GetLastError());
            return false;
        }
    }
    HKEY key = NULL;
    const LSTATUS created =
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\velmot.exe\\DllOverrides",
                        0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    if (created != ERROR_SUCCESS) {
        failure = Failed("RegCreateKeyExW", static_cast<DWORD>(created));
        return false;
    }
    const struct {
        const wchar_t* dll;
        const wchar_t* order;
    } overrides[] = {{L"powrprof", L"native,builtin"}, {L"shell32", L"native"}};
    bool done = true;
    for (const auto& entry : overrides) {
        const DWORD bytes = static_cast<DWORD>((lstrlenW(entry.order) + 1) * sizeof(wchar_t));
        const LSTATUS set = RegSetValueExW(key, entry.dll, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(entry.order), bytes);
        if (done && set != ERROR_SUCCESS) {
            failure = Failed(("RegSetValueExW(" + Narrow(entry.dll) + ")").c_str(),
                             static_cast<DWORD>(set));
            done = false;
        }
    }
    RegCloseKey(key);
    return done;
}

} // namespace wine_test

using namespace wine_test;

int wmain(int argc, wchar_t** argv) {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
    std::wstring dir(self, length);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    programDir = dir;
    programPath = dir + L"velmot.exe";
    logPath = dir + L"suspend.log";
    iconLogPath = dir + L"shell32.log";
    plantedLogPath = dir + L"planted-powrprof.log";
    loadLogPath = dir + L"load-by-name.log";
    // Inherited by velmot.exe: where the stand-ins log.
    SetEnvironmentVariableW(L"VELMOT_SUSPEND_LOG", logPath.c_str());
    SetEnvironmentVariableW(L"VELMOT_SHELL_LOG", iconLogPath.c_str());
    SetEnvironmentVariableW(L"VELMOT_LOAD_LOG", loadLogPath.c_str());
    // The computer that the stand-in plays, unless a case chooses another.
    SetEnvironmentVariableW(L"VELMOT_TEST_MACHINE", L"s3");
    std::string failure;
    if (!UseStandIns(failure)) {
        fprintf(stderr, "driver: cannot install the stand-in DLLs for velmot.exe: %s\n",
                failure.c_str());
        return 2;
    }

    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"--show-dialog") {
        return Show(NULL, false);
    }
    if (mode == L"--show-menu") {
        return Show(L"/W 1:30", true);
    }
    if (!mode.empty()) {
        fprintf(stderr, "usage: driver.exe [--show-dialog | --show-menu]\n");
        return 2;
    }
    if (GetFileAttributesW(programPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        failure = Failed("GetFileAttributesW", GetLastError());
        fprintf(stderr, "driver: %s not found: %s\n", Narrow(programPath).c_str(), failure.c_str());
        return 2;
    }
    return RunCases();
}

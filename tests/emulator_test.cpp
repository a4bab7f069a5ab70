// The emulated device's own contract, where the program relies on it behaving as the real
// platform does.
#include "emulator/device.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using emu::At;

namespace {

int destroyed = 0;
std::vector<std::pair<UINT, LPARAM>> handled; // message, lParam

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ++destroyed;
    }
    handled.emplace_back(message, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

class Emulator : public ::testing::Test {
  protected:
    void SetUp() override {
        emu::Reset();
        destroyed = 0;
        handled.clear();
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = PlainProc;
        windowClass.lpszClassName = L"Plain";
        RegisterClassW(&windowClass);
    }
    HWND Create(DWORD style = WS_CAPTION, int x = 0, int y = 0) {
        return CreateWindowExW(0, L"Plain", L"", style, x, y, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                               nullptr, emu::ProgramInstance(), nullptr);
    }
    // Posts a message at a moment, so that a retrieval returns then.
    static void PostAt(emu::Millis when, HWND window) {
        emu::Script(when, "post", [window] { PostMessageW(window, WM_USER, 0, 0); });
    }
};

TEST_F(Emulator, LocalClockFieldsAcrossMidnightAndTheYearsEnd) {
    emu::SetClock(2026, 12, 31, 23, 59, 50, 250);
    HWND window = Create();
    SetTimer(window, 7, 10000, nullptr);
    SYSTEMTIME before;
    GetLocalTime(&before);
    EXPECT_EQ(before.wYear, 2026);
    EXPECT_EQ(before.wMonth, 12);
    EXPECT_EQ(before.wDay, 31);
    EXPECT_EQ(before.wDayOfWeek, 4); // Thursday
    EXPECT_EQ(before.wHour, 23);
    EXPECT_EQ(before.wMinute, 59);
    EXPECT_EQ(before.wSecond, 50);
    EXPECT_EQ(before.wMilliseconds, 250);

    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 7u);
    SYSTEMTIME after;
    GetLocalTime(&after);
    EXPECT_EQ(after.wYear, 2027);
    EXPECT_EQ(after.wMonth, 1);
    EXPECT_EQ(after.wDay, 1);
    EXPECT_EQ(after.wDayOfWeek, 5);
    EXPECT_EQ(after.wHour, 0);
    EXPECT_EQ(after.wMinute, 0);
    EXPECT_EQ(after.wSecond, 0);
}

TEST_F(Emulator, TimersRunOnVirtualTimeUntilKilled) {
    HWND window = Create();
    SetTimer(window, 1, 10000, nullptr);
    emu::Script(At(0, 0, 25), "nothing", [] {});
    MSG msg;
    for (int second : {10, 20, 30}) {
        ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
        EXPECT_EQ(msg.hwnd, window);
        EXPECT_EQ(emu::Now(), At(0, 0, second));
    }
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1));
    // Nothing left to happen: a loud failure, never a hang.
    EXPECT_THROW(GetMessageW(&msg, nullptr, 0, 0), emu::Failure);
}

TEST_F(Emulator, PostedMessagesComeBeforeTheQuitMessageAndTimers) {
    HWND window = Create();
    SetTimer(window, 1, 10, nullptr);
    PostQuitMessage(3);
    PostMessageW(window, WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 0));
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
}

// A tap on an icon is a pen-down and a pen-up, each sent: both are handled before the
// retrieval that runs the tap returns anything.
TEST_F(Emulator, TapOnAnIconSendsPenDownThenPenUp) {
    HWND window = Create();
    NOTIFYICONDATA data = {};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uFlags = NIF_MESSAGE;
    data.uCallbackMessage = WM_USER + 5;
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
    emu::TapIcon(At(0, 0, 5));
    PostAt(At(0, 0, 6), window);
    handled.clear();
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    using Handled = std::vector<std::pair<UINT, LPARAM>>;
    EXPECT_EQ(handled, (Handled{{WM_USER + 5, WM_LBUTTONDOWN}, {WM_USER + 5, WM_LBUTTONUP}}));
}

// The shell posts its low-memory notice to visible top-level windows only.
TEST_F(Emulator, LowMemoryNoticeIsPostedToVisibleWindowsOnly) {
    Create();
    HWND visible = Create(WS_VISIBLE);
    emu::LowMemory(At(0, 0, 5));
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.hwnd, visible);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_HIBERNATE));
    EXPECT_THROW(GetMessageW(&msg, nullptr, 0, 0), emu::Failure); // no other
}

// With a dialog open, the dialog is the window in front: it is visible whatever its template
// says, and it hears the notice last, after a visible window created later.
TEST_F(Emulator, LowMemoryNoticeReachesTheDialogInFrontLast) {
    static std::vector<HWND> told;
    static HWND dialog, later;
    told.clear();
    const WNDPROC plain = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_HIBERNATE) {
            told.push_back(window);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    };
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = plain;
    windowClass.lpszClassName = L"Told";
    RegisterClassW(&windowClass);
    const auto create = [] {
        return CreateWindowExW(0, L"Told", L"", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                               emu::ProgramInstance(), nullptr);
    };
    const HWND first = create();
    Create(); // invisible: told nothing
    const DLGPROC procedure = [](HWND window, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            dialog = window;
            later = CreateWindowExW(0, L"Told", L"", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                    emu::ProgramInstance(), nullptr);
        } else if (message == WM_HIBERNATE) {
            told.push_back(window);
            EndDialog(window, 5);
        }
        return message == WM_INITDIALOG;
    };
    // A template without controls and without WS_VISIBLE; DWORD-aligned.
    alignas(4) const WORD dialogTemplate[] = {
        LOWORD(WS_POPUP), HIWORD(WS_POPUP), 0, 0, 0, 0, 0, 100, 50, 0, 0, 0};
    emu::LowMemory(At(0, 0, 5));
    EXPECT_EQ(DialogBoxIndirectParamW(emu::ProgramInstance(),
                                      reinterpret_cast<LPCDLGTEMPLATE>(dialogTemplate), first,
                                      procedure, 0),
              5);
    EXPECT_EQ(told, (std::vector<HWND>{first, later, dialog}));
}

// SIP_DOWN lowers the panel after the shell's own delay; a SIP_UP before then keeps it up, and
// a second SIP_DOWN meanwhile keeps the first one's deadline.
TEST_F(Emulator, InputPanelGoesDownOnlyAfterADelay) {
    HWND window = Create();
    SHSipPreference(window, SIP_UP);
    SHSipPreference(window, SIP_DOWN);
    EXPECT_TRUE(emu::InputPanelUp());
    SHSipPreference(window, SIP_UP);
    SHSipPreference(window, SIP_DOWN);
    emu::Script(At(0, 0, 0, 0, 60), "again", [window] { SHSipPreference(window, SIP_DOWN); });
    PostAt(At(0, 0, 1), window);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_FALSE(emu::InputPanelUp());
    EXPECT_EQ(
        emu::TimelineOf("input panel"),
        (std::vector<std::string>{"00:00:00 input panel up", "00:00:00.100 input panel down"}));
}

// A default size reaches the right edge of the screen and the top of the menu bar, on each
// shape of screen; a Pocket PC has no other.
TEST_F(Emulator, DefaultWindowSizeEndsAboveTheMenuBar) {
    struct Row {
        int width, height, x, y, right, bottom;
    };
    for (const Row row : {Row{240, 320, 0, 0, 240, 294}, Row{240, 320, 10, 20, 240, 294},
                          Row{320, 240, 0, 0, 320, 214}, Row{240, 240, 10, 20, 240, 214}}) {
        emu::SetScreenSize(row.width, row.height);
        RECT rect{};
        ASSERT_TRUE(GetWindowRect(Create(WS_CAPTION, row.x, row.y), &rect));
        EXPECT_EQ(rect.left, row.x);
        EXPECT_EQ(rect.top, row.y);
        EXPECT_EQ(rect.right, row.right);
        EXPECT_EQ(rect.bottom, row.bottom);
    }
    EXPECT_THROW(emu::SetScreenSize(480, 640), emu::Failure);
    EXPECT_THROW(emu::SetScreenSize(240, 0), emu::Failure);
}

TEST_F(Emulator, CloseRequestDestroysAWindowByDefault) {
    HWND window = Create();
    EXPECT_EQ(FindWindowW(L"plain", nullptr), window); // class names ignore case
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(FindWindowW(L"Plain", nullptr), nullptr);
    // A dead window takes nothing.
    EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(SetTimer(window, 1, 10, nullptr), 0u);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(destroyed, 1);
}

TEST_F(Emulator, ScriptedEventsLeftWhenTheProgramEndsFailTheRun) {
    emu::TapIcon(At(0, 0, 5));
    const emu::EntryPoint endsAtOnce = [](HINSTANCE, HINSTANCE, LPWSTR, int) { return 0; };
    EXPECT_THROW(emu::RunProgram(endsAtOnce, L"/W"), emu::Failure);
}

TEST_F(Emulator, ActionsWithNothingToActOnFailLoudly) {
    HWND window = Create();
    SetTimer(window, 1, 10000, nullptr);
    MSG msg;
    for (auto script :
         {+[] { emu::ChooseMenuItem(At(0, 0, 1), 40001); }, +[] { emu::PressDone(At(0, 0, 1)); },
          +[] { emu::TapIcon(At(0, 0, 1)); }, +[] { emu::Type(At(0, 0, 1), 1000, L"1"); }}) {
        script();
        EXPECT_THROW(GetMessageW(&msg, nullptr, 0, 0), emu::Failure);
    }
}

TEST_F(Emulator, NotifyIconRecordIsCheckedAsTheShellWould) {
    HWND window = Create();
    NOTIFYICONDATA data = {};
    data.cbSize = sizeof(data) - 4;
    data.hWnd = window;
    data.uID = 1;
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &data));
    data.cbSize = sizeof(data);
    EXPECT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &data)); // the same window and id twice
    data.uID = 2;
    EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &data)); // only the icon that was added
    EXPECT_EQ(emu::Icons().size(), 1u);
    data.uID = 1;
    for (WCHAR& unit : data.szTip) {
        unit = L'x';
    }
    data.uFlags = NIF_TIP;
    EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
    EXPECT_THROW(Shell_NotifyIcon(NIM_ADD, &data), emu::Failure); // tooltip without its end
}

// A null module: FindResource takes none, LoadResource reads it as the running program,
// LoadImage loads the system's own images for it (none of which is the program's icon).
TEST_F(Emulator, NullModuleFollowsTheDevicesRules) {
    const HINSTANCE program = emu::ProgramInstance();
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(102), RT_DIALOG), nullptr);
    HRSRC dialog = FindResourceW(program, MAKEINTRESOURCEW(102), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(LoadResource(nullptr, dialog), LoadResource(program, dialog));
    EXPECT_NE(LoadResource(nullptr, dialog), nullptr);
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0), nullptr);
    EXPECT_NE(LoadImageW(program, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0), nullptr);
}

// The classes a program registers go when it ends; those registered before it stay.
TEST_F(Emulator, ClassesOfAnEndedProgramAreUnregistered) {
    const emu::EntryPoint registers = [](HINSTANCE instance, HINSTANCE, LPWSTR, int) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = PlainProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"Own";
        return static_cast<int>(RegisterClassW(&windowClass) != 0);
    };
    EXPECT_EQ(emu::RunProgram(registers, L""), 1);
    EXPECT_EQ(emu::RunProgram(registers, L""), 1); // registered anew
    EXPECT_EQ(CreateWindowExW(0, L"Own", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_NE(Create(), nullptr);
}

} // namespace

// An idle handler runs the device instead of the clock's jumps: it hears what comes next,
// moves the clock, acts at Now() inside the waiting loop, and may stop the run.
TEST_F(Emulator, IdleHandlerRunsTheDeviceBetweenEvents) {
    HWND window = Create();
    SetTimer(window, 1, 10000, nullptr);
    std::vector<emu::Millis> told;
    emu::SetIdleHandler([&told, window](emu::Millis next) {
        told.push_back(next);
        if (told.size() == 1) {
            EXPECT_THROW(emu::AdvanceClock(next + 1), emu::Failure);
            emu::AdvanceClock(At(0, 0, 4));
            emu::Script(emu::Now(), "post", [window] { PostMessageW(window, WM_USER, 0, 0); });
        } else if (next >= 0) {
            emu::AdvanceClock(next);
        } else {
            throw emu::Stopped("nothing more");
        }
    });
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(emu::Now(), At(0, 0, 4));
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(emu::Now(), At(0, 0, 10));
    KillTimer(window, 1);
    EXPECT_THROW(GetMessageW(&msg, nullptr, 0, 0), emu::Stopped);
    EXPECT_EQ(told, (std::vector<emu::Millis>{At(0, 0, 10), At(0, 0, 10), -1}));
}

// The settings dialog, the notification icon and menu, and the suspend action, each on the
// emulated device with a plain window of the test's own as their owner.
#include "dialog/settings_dialog.h"
#include "emulator/device.h"
#include "resources/resource.h"
#include "shell/notify_icon.h"
#include "shell/suspend.h"
#include "test_support.h"

#include <gtest/gtest.h>

using emu::At;
using Lines = std::vector<std::string>;

namespace {

std::vector<MSG> received;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back(MSG{window, message, wParam, lParam, 0, {0, 0}});
    return 0;
}

class ProgramParts : public ::testing::Test {
  protected:
    void SetUp() override {
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = L"Owner";
        RegisterClassW(&windowClass);
        owner = CreateWindowExW(0, L"Owner", L"", WS_CAPTION, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, emu::ProgramInstance(), nullptr);
        received.clear();
    }
    void TearDown() override {
        if (HasFailure()) {
            std::printf("Timeline:\n%s", emu::TimelineText().c_str());
        }
    }
    // Opens the settings dialog from the program's own template, as the main window does.
    int RunDialog() {
        HRSRC resource =
            FindResourceW(emu::ProgramInstance(), MAKEINTRESOURCEW(IDD_SETTINGS), RT_DIALOG);
        return DialogBoxIndirectParamW(
            emu::ProgramInstance(),
            static_cast<LPCDLGTEMPLATE>(LoadResource(emu::ProgramInstance(), resource)), owner,
            SettingsDialogProc, 0);
    }
    HWND owner = nullptr;
};

TEST_F(ProgramParts, DialogTemplateAsCompiledFromTheResourceScript) {
    auto view = test::LookAtDialog(At(10, 0, 1));
    emu::PressDone(At(10, 0, 2));
    ASSERT_EQ(RunDialog(), 1);

    EXPECT_EQ(view->style, 0x80800040u);
    EXPECT_EQ(view->x, 0);
    EXPECT_EQ(view->y, 0);
    EXPECT_EQ(view->cx, 136);
    EXPECT_EQ(view->cy, 146);
    EXPECT_EQ(view->font, L"System");
    EXPECT_EQ(view->pointSize, 9);
    struct Row {
        int id;
        const wchar_t* className;
        DWORD style;
        int x, y, cx, cy;
        const wchar_t* text; // labels and buttons; edits show numbers once open
    };
    const Row table[] = {
        {1002, L"Button", 0x50000009, 5, 5, 75, 10, L"Time to suspend"},
        {1003, L"Button", 0x50000009, 5, 45, 75, 10, L"Wait to suspend"},
        {1001, L"Edit", 0x50812080, 5, 20, 25, 15, nullptr},
        {-1, L"Static", 0x50020001, 32, 23, 10, 10, L":"},
        {1000, L"Edit", 0x50812080, 45, 20, 25, 15, nullptr},
        {1005, L"Edit", 0x50812080, 5, 60, 25, 15, nullptr},
        {-1, L"Static", 0x50020000, 35, 63, 35, 10, L"hours and"},
        {1004, L"Edit", 0x50812080, 75, 60, 25, 15, nullptr},
        {-1, L"Static", 0x50020000, 104, 63, 30, 10, L"minutes"},
    };
    ASSERT_EQ(view->controls.size(), std::size(table));
    for (size_t i = 0; i < std::size(table); ++i) {
        SCOPED_TRACE(i);
        const emu::ControlView& control = view->controls[i];
        EXPECT_EQ(control.id, table[i].id);
        EXPECT_EQ(control.className, table[i].className);
        EXPECT_EQ(control.style, table[i].style);
        EXPECT_EQ(control.x, table[i].x);
        EXPECT_EQ(control.y, table[i].y);
        EXPECT_EQ(control.cx, table[i].cx);
        EXPECT_EQ(control.cy, table[i].cy);
        if (table[i].text != nullptr) {
            EXPECT_EQ(control.text, table[i].text);
        }
    }
}

TEST_F(ProgramParts, DialogOpenedAtTimeShowsTheTargetFullScreen) {
    SuspendSchedule.targetHour = 7;
    SuspendSchedule.targetMinute = 30;
    SuspendSchedule.waitHours = 1;
    SuspendSchedule.waitMinutes = 5;
    auto view = test::LookAtDialog(At(10, 0, 1));
    emu::PressDone(At(10, 0, 2));
    ASSERT_EQ(RunDialog(), 1);

    EXPECT_EQ(view->caption, L"Set");
    EXPECT_EQ(view->shellFlags, 13u);
    EXPECT_EQ(view->screen.left, 0);
    EXPECT_EQ(view->screen.right, emu::ScreenWidth);
    EXPECT_EQ(view->screen.bottom, emu::ScreenHeight);
    EXPECT_TRUE(view->Control(IDC_TIME_RADIO).checked);
    EXPECT_FALSE(view->Control(IDC_WAIT_RADIO).checked);
    EXPECT_EQ(view->Control(IDC_TIME_HOUR).text, L"7");
    EXPECT_EQ(view->Control(IDC_TIME_MINUTE).text, L"30");
    EXPECT_EQ(view->Control(IDC_WAIT_HOURS).text, L"1");
    EXPECT_EQ(view->Control(IDC_WAIT_MINUTES).text, L"5");
    EXPECT_TRUE(view->Control(IDC_TIME_HOUR).enabled);
    EXPECT_TRUE(view->Control(IDC_TIME_MINUTE).enabled);
    EXPECT_FALSE(view->Control(IDC_WAIT_HOURS).enabled);
    EXPECT_FALSE(view->Control(IDC_WAIT_MINUTES).enabled);
    // Confirmed unchanged: everything read back, the count from the wait fields.
    EXPECT_EQ(SuspendSchedule.mode, AtTime);
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 30);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 65);
}

TEST_F(ProgramParts, DialogOpenedDuringACountdownShowsTheTimeLeft) {
    SuspendSchedule.mode = AfterWait;
    SuspendSchedule.waitHours = 3;
    SuspendSchedule.remainingMinutes = 135;
    SuspendSchedule.lastMinute = 42;
    auto view = test::LookAtDialog(At(10, 0, 1));
    auto schedule = test::LookAtSchedule(At(10, 0, 1));
    emu::PressDone(At(10, 0, 2));
    ASSERT_EQ(RunDialog(), 1);

    EXPECT_TRUE(view->Control(IDC_WAIT_RADIO).checked);
    EXPECT_FALSE(view->Control(IDC_TIME_RADIO).checked);
    EXPECT_EQ(view->Control(IDC_WAIT_HOURS).text, L"2");
    EXPECT_EQ(view->Control(IDC_WAIT_MINUTES).text, L"15");
    EXPECT_FALSE(view->Control(IDC_TIME_HOUR).enabled);
    EXPECT_FALSE(view->Control(IDC_TIME_MINUTE).enabled);
    EXPECT_TRUE(view->Control(IDC_WAIT_HOURS).enabled);
    EXPECT_EQ(schedule->waitHours, 2);
    EXPECT_EQ(schedule->waitMinutes, 15);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 135);
    EXPECT_EQ(SuspendSchedule.lastMinute, 42); // never touched by the dialog
}

TEST_F(ProgramParts, SwitchingModesFlipsTheEditablePairAndKeepsBothPairs) {
    SuspendSchedule.targetHour = 7;
    SuspendSchedule.targetMinute = 30;
    emu::ClickRadio(At(10, 0, 1), IDC_WAIT_RADIO);
    auto wait = test::LookAtDialog(At(10, 0, 2));
    emu::Type(At(10, 0, 3), IDC_WAIT_HOURS, L"1");
    emu::Clear(At(10, 0, 4), IDC_WAIT_MINUTES);
    emu::Type(At(10, 0, 5), IDC_WAIT_MINUTES, L"30");
    emu::ClickRadio(At(10, 0, 6), IDC_TIME_RADIO);
    auto time = test::LookAtDialog(At(10, 0, 7));
    emu::ClickRadio(At(10, 0, 8), IDC_WAIT_RADIO);
    emu::PressDone(At(10, 0, 9));
    ASSERT_EQ(RunDialog(), 1);

    EXPECT_TRUE(wait->Control(IDC_WAIT_RADIO).checked);
    EXPECT_FALSE(wait->Control(IDC_TIME_RADIO).checked); // one group: the other unchecks
    EXPECT_TRUE(wait->Control(IDC_WAIT_HOURS).enabled);
    EXPECT_FALSE(wait->Control(IDC_TIME_HOUR).enabled);
    EXPECT_TRUE(time->Control(IDC_TIME_RADIO).checked);
    EXPECT_FALSE(time->Control(IDC_WAIT_MINUTES).enabled);
    EXPECT_EQ(time->Control(IDC_WAIT_MINUTES).text, L"30");
    EXPECT_EQ(SuspendSchedule.mode, AfterWait);
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 30);
    EXPECT_EQ(SuspendSchedule.waitHours, 1); // typed after the 0 shown: "01"
    EXPECT_EQ(SuspendSchedule.waitMinutes, 30);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 90);
}

TEST_F(ProgramParts, ConfirmingEmptyHugeAndRefusedEntries) {
    struct Case {
        const wchar_t* hours; // typed into the cleared wait-hours edit
        int waitHours;
        int remaining; // with 59 minutes
    };
    const Case cases[] = {
        {L"", 0, 59},
        {L"2x", 2, 179},                         // the letter is refused by the edit
        {L"999999999", 999999999, 2147483647},   // the count saturates
        {L"99999999999", 999999999, 2147483647}, // the field takes nine digits only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.hours)));
        test::FreshDevice();
        SetUp();
        emu::ClickRadio(At(10, 0, 1), IDC_WAIT_RADIO);
        emu::Clear(At(10, 0, 2), IDC_WAIT_HOURS);
        emu::Type(At(10, 0, 3), IDC_WAIT_HOURS, c.hours);
        emu::Clear(At(10, 0, 4), IDC_WAIT_MINUTES);
        emu::Type(At(10, 0, 5), IDC_WAIT_MINUTES, L"59");
        emu::Clear(At(10, 0, 6), IDC_TIME_MINUTE); // disabled: stays "0"
        emu::PressDone(At(10, 0, 7));
        ASSERT_EQ(RunDialog(), 1);
        EXPECT_EQ(SuspendSchedule.waitHours, c.waitHours);
        EXPECT_EQ(SuspendSchedule.waitMinutes, 59);
        EXPECT_EQ(SuspendSchedule.remainingMinutes, c.remaining);
        EXPECT_EQ(SuspendSchedule.targetMinute, 0);
        EXPECT_EQ(emu::TimelineOf("  refused: control 1000").size(), 1u);
    }
}

TEST_F(ProgramParts, EmptyTimeFieldsConfirmAsZero) {
    SuspendSchedule.targetHour = 7;
    SuspendSchedule.targetMinute = 30;
    emu::Clear(At(10, 0, 1), IDC_TIME_MINUTE);
    emu::PressDone(At(10, 0, 2));
    ASSERT_EQ(RunDialog(), 1);
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 0);
}

TEST_F(ProgramParts, InputPanelFollowsTheFocus) {
    emu::Focus(At(10, 0, 1), IDC_TIME_MINUTE);
    emu::ClickRadio(At(10, 0, 2), IDC_WAIT_RADIO);
    emu::Focus(At(10, 0, 3), IDC_WAIT_HOURS);
    emu::ClickRadio(At(10, 0, 4), IDC_TIME_RADIO); // disables the focused edit
    emu::Focus(At(10, 0, 5), IDC_TIME_HOUR);
    emu::PressDone(At(10, 0, 6));
    ASSERT_EQ(RunDialog(), 1);
    EXPECT_FALSE(emu::InputPanelUp());
    EXPECT_EQ(emu::TimelineOf("input panel"),
              (Lines{// opened with the focus in the first edit
                     "10:00:00 input panel up",
                     // from one edit to the other
                     "10:00:01 input panel down", "10:00:01 input panel up",
                     // onto a radio button
                     "10:00:02 input panel down", "10:00:03 input panel up",
                     "10:00:04 input panel down", "10:00:05 input panel up",
                     // Done
                     "10:00:06 input panel down"}));
}

TEST_F(ProgramParts, NotifyIconIsAddedAndDeletedAsOnePair) {
    HICON icon = static_cast<HICON>(
        LoadImageW(emu::ProgramInstance(), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 16, 16, 0));
    UpdateNotifyIcon(owner, NIM_ADD, TRAY_ICON_ID, icon, L"Velmot");
    const std::vector<emu::IconView> icons = emu::Icons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].window, owner);
    EXPECT_EQ(icons[0].id, 1u);
    EXPECT_EQ(icons[0].flags, 7u);
    EXPECT_EQ(icons[0].callbackMessage, 1125u);
    EXPECT_EQ(icons[0].tip, L"Velmot");
    EXPECT_EQ(icons[0].resourceId, 101);
    EXPECT_EQ(icons[0].width, 16);
    EXPECT_EQ(icons[0].height, 16);
    EXPECT_EQ(icons[0].colours, 16);

    UpdateNotifyIcon(owner, NIM_DELETE, TRAY_ICON_ID, nullptr, nullptr);
    EXPECT_TRUE(emu::Icons().empty());
    EXPECT_EQ(emu::TimelineOf("icon removed"), Lines{"10:00:00 icon removed: id 1"});
}

TEST_F(ProgramParts, TooltipIsCutToItsField) {
    const std::wstring longText(500, L'z');
    UpdateNotifyIcon(owner, NIM_ADD, TRAY_ICON_ID, nullptr, longText.c_str());
    ASSERT_EQ(emu::Icons().size(), 1u);
    EXPECT_EQ(emu::Icons()[0].tip, std::wstring(63, L'z'));
    UpdateNotifyIcon(owner, NIM_DELETE, TRAY_ICON_ID, nullptr, L"");
    UpdateNotifyIcon(owner, NIM_ADD, TRAY_ICON_ID, nullptr, nullptr);
    EXPECT_EQ(emu::Icons()[0].tip, L"");
}

TEST_F(ProgramParts, MenuEntriesPlacementAndTheChosenCommand) {
    emu::ChooseMenuItem(At(10, 0, 3), IDM_SUSPEND);
    ShowTrayMenu(owner);
    ASSERT_EQ(emu::MenusShown().size(), 1u);
    const emu::MenuView& menu = emu::MenusShown()[0];
    EXPECT_EQ(menu.flags, 0x28u);
    EXPECT_EQ(menu.x, emu::ScreenWidth);
    EXPECT_EQ(menu.y, emu::ScreenHeight);
    EXPECT_EQ(menu.owner, owner);
    // Only a menu whose owner is in the foreground closes when the user taps elsewhere.
    EXPECT_EQ(menu.foreground, owner);
    ASSERT_EQ(menu.items.size(), 4u);
    const UINT flags[] = {0, MF_SEPARATOR, 0, 0};
    const UINT_PTR ids[] = {40001, 0, 40002, 40003};
    const wchar_t* texts[] = {L"&Set", L"", L"Sus&pend", L"&Exit application"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(menu.items[i].flags, flags[i]);
        EXPECT_EQ(menu.items[i].id, ids[i]);
        EXPECT_EQ(menu.items[i].text, texts[i]);
    }
    EXPECT_EQ(emu::LiveMenus(), 0);

    // The choice comes back as a command, then the null message.
    MSG msg;
    for (int i = 0; i < 2 && GetMessageW(&msg, nullptr, 0, 0); ++i) {
        DispatchMessageW(&msg);
    }
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(LOWORD(received[0].wParam), IDM_SUSPEND);
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_NULL));
}

TEST_F(ProgramParts, DismissedMenuSendsNoCommand) {
    emu::DismissMenu(At(10, 0, 3));
    ShowTrayMenu(owner);
    EXPECT_EQ(emu::LiveMenus(), 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_NULL));
}

TEST_F(ProgramParts, SuspendPressesAndReleasesThePowerOffKey) {
    SuspendDevice();
    const std::vector<emu::KeyEvent>& keys = emu::Keys();
    ASSERT_EQ(keys.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(keys[i].virtualKey, 0xDF);
        EXPECT_EQ(keys[i].scanCode, 0);
        EXPECT_EQ(keys[i].extraInfo, 0u);
    }
    EXPECT_EQ(keys[0].flags, 0u);
    EXPECT_EQ(keys[1].flags, static_cast<DWORD>(KEYEVENTF_KEYUP));
}

} // namespace

namespace {

TEST_F(ProgramParts, NegativeValuesShownUnsignedNeverComeBackAsAnImmediateSuspension) {
    SuspendSchedule.targetHour = -5; // "/T -5:0" stores it unchanged
    SuspendSchedule.waitHours = -1;
    auto view = test::LookAtDialog(At(10, 0, 1));
    emu::ClickRadio(At(10, 0, 2), IDC_WAIT_RADIO);
    emu::PressDone(At(10, 0, 3));
    ASSERT_EQ(RunDialog(), 1);
    EXPECT_EQ(view->Control(IDC_TIME_HOUR).text, L"4294967291");
    EXPECT_EQ(view->Control(IDC_WAIT_HOURS).text, L"4294967295");
    EXPECT_EQ(SuspendSchedule.mode, AfterWait);
    EXPECT_EQ(SuspendSchedule.targetHour, 2147483647);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 2147483647);
}

} // namespace

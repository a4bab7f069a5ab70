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

TEST_F(ProgramParts, DialogOpenedAtTimeShowsTheTarget) {
    SuspendSchedule.targetHour = 7;
    SuspendSchedule.targetMinute = 30;
    SuspendSchedule.waitHours = 1;
    SuspendSchedule.waitMinutes = 5;
    auto view = test::LookAtDialog(At(10, 0, 1));
    emu::PressDone(At(10, 0, 2));
    ASSERT_EQ(RunDialog(), 1);

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

TEST_F(ProgramParts, TooltipIsCutToItsField) {
    const std::wstring longText(500, L'z');
    UpdateNotifyIcon(owner, NIM_ADD, TRAY_ICON_ID, nullptr, longText.c_str());
    ASSERT_EQ(emu::Icons().size(), 1u);
    EXPECT_EQ(emu::Icons()[0].tip, std::wstring(63, L'z'));
    UpdateNotifyIcon(owner, NIM_DELETE, TRAY_ICON_ID, nullptr, L"");
    UpdateNotifyIcon(owner, NIM_ADD, TRAY_ICON_ID, nullptr, nullptr);
    EXPECT_EQ(emu::Icons()[0].tip, L"");
}

TEST_F(ProgramParts, MenuChoiceComesBackAsACommand) {
    emu::ChooseMenuItem(At(10, 0, 3), IDM_SUSPEND);
    ShowTrayMenu(owner);
    ASSERT_EQ(emu::MenusShown().size(), 1u);
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

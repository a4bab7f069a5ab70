// User stories: the whole program on the emulated device, run on both builds (scenario.h).
#include "resources/resource.h"
#include "scenario.h"

#include <cwchar>
#include <memory>

using emu::At;
using test::KeyLines;
using test::Lines;
using test::PowerKeyAt;

namespace {

class Scenario : public test::Scenario {};
INSTANTIATE_SCENARIOS(Scenario);

TEST_P(Scenario, TypicalEveningWaitChosenInTheDialog) {
    emu::SetClock(2026, 12, 8, 21, 10, 40);
    auto opened = test::LookAtDialog(At(21, 10, 41));
    emu::ClickRadio(At(21, 10, 44), IDC_WAIT_RADIO);
    emu::Clear(At(21, 10, 46), IDC_WAIT_MINUTES);
    emu::Type(At(21, 10, 47), IDC_WAIT_MINUTES, L"30");
    auto typed = test::LookAtDialog(At(21, 10, 48));
    emu::PressDone(At(21, 10, 50));
    std::shared_ptr<ScheduleRecord> afterDone, firstChange, lastBefore;
    if (OnHostBuild()) {
        afterDone = test::LookAtSchedule(At(21, 10, 55));
        firstChange = test::LookAtSchedule(At(21, 11, 5));
        lastBefore = test::LookAtSchedule(At(21, 39, 55));
    }

    RunToEnd(L"");

    EXPECT_EQ(opened->caption, L"Set");
    EXPECT_TRUE(opened->Control(IDC_TIME_RADIO).checked);
    EXPECT_FALSE(opened->Control(IDC_WAIT_RADIO).checked);
    EXPECT_EQ(opened->Control(IDC_TIME_HOUR).text, L"0");
    EXPECT_EQ(opened->Control(IDC_TIME_MINUTE).text, L"0");
    EXPECT_TRUE(typed->Control(IDC_WAIT_RADIO).checked);
    EXPECT_EQ(typed->Control(IDC_WAIT_HOURS).text, L"0");
    EXPECT_EQ(typed->Control(IDC_WAIT_MINUTES).text, L"30");
    EXPECT_EQ(emu::TimelineOf("icon added"),
              Lines{"21:10:40 icon added: id 1, tip \"Velmot\", icon 101 16x16, callback 1125"});
    // Up for the first edit, down as the finger leaves it for a radio button, up for the
    // minutes, down after Done; each time down after the shell's delay.
    EXPECT_EQ(emu::TimelineOf("input panel"),
              (Lines{"21:10:40 input panel up", "21:10:44.100 input panel down",
                     "21:10:46 input panel up", "21:10:50.100 input panel down"}));
    EXPECT_EQ(KeyLines(), PowerKeyAt("21:40:00"));
    EXPECT_EQ(emu::TimelineOf("icon removed"), Lines{"21:40:00 icon removed: id 1"});
    EXPECT_EQ(emu::TimelineOf("timer 1"),
              (Lines{"21:10:50 timer 1 set: every 10000 ms", "21:40:00 timer 1 killed"}));
    // Checked every ten seconds from the end of the dialog to the suspension.
    const auto& ticks = emu::TimerMessages();
    ASSERT_EQ(ticks.size(), 175u);
    EXPECT_EQ(ticks.front(), At(21, 11, 0));
    EXPECT_EQ(ticks.back(), At(21, 40, 0));
    if (OnHostBuild()) {
        EXPECT_EQ(afterDone->mode, AfterWait);
        EXPECT_EQ(afterDone->remainingMinutes, 30);
        EXPECT_EQ(afterDone->lastMinute, 10);
        EXPECT_EQ(firstChange->remainingMinutes, 29);
        EXPECT_EQ(lastBefore->remainingMinutes, 1);
    }
}

TEST_P(Scenario, HiddenMainWindowAndItsClass) {
    QuitAt(At(10, 0, 5));
    RunToEnd(L"/W 1:0");
    EXPECT_EQ(emu::TimelineOf("class"),
              Lines{"10:00:00 class \"VelmotWndCls\" registered: style 0x0, extra bytes 0/0, icon "
                    "none, cursor none, brush none, menu none"});
    EXPECT_EQ(emu::TimelineOf("window \"VelmotWndCls\" created"),
              Lines{"10:00:00 window \"VelmotWndCls\" created: title \"\", style 0xC00000, ex "
                    "style 0x0, at 0,0 size 240x294, parent none, menu none"});
    EXPECT_TRUE(emu::TimelineOf("dialog").empty());
}

TEST_P(Scenario, CommandLineWithoutSlashShowsTheDialog) {
    auto opened = test::LookAtDialog(At(10, 0, 1));
    emu::PressDone(At(10, 0, 2));
    OpenSetAt(At(10, 0, 10));
    auto reopened = test::LookAtDialog(At(10, 0, 12));
    emu::PressDone(At(10, 0, 13));
    QuitAt(At(10, 0, 30));
    RunToEnd(L"T 7:30");
    for (const auto& view : {opened, reopened}) {
        EXPECT_TRUE(view->Control(IDC_TIME_RADIO).checked);
        EXPECT_EQ(view->Control(IDC_TIME_HOUR).text, L"0");
        EXPECT_EQ(view->Control(IDC_TIME_MINUTE).text, L"0");
    }
    EXPECT_TRUE(emu::Keys().empty());
}

TEST_P(Scenario, WaitOfZeroSuspendsDuringCreation) {
    RunToEnd(L"/W");
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:00:00"));
    EXPECT_TRUE(emu::TimelineOf("timer").empty());
    EXPECT_TRUE(emu::TimelineOf("dialog").empty());
    EXPECT_EQ(emu::TimelineOf("program exited"), Lines{"10:00:00 program exited 0"});
}

TEST_P(Scenario, ScheduleAlreadyDueWhenTheDialogIsConfirmed) {
    emu::ClickRadio(At(10, 0, 3), IDC_WAIT_RADIO);
    emu::PressDone(At(10, 0, 7));
    RunToEnd(L"");
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:00:07"));
    EXPECT_TRUE(emu::TimelineOf("timer").empty());
}

// The ways a running program may be ended, each acting at t and t + 1 s. The shell's
// low-memory notice goes to visible windows only, so it never reaches the hidden main
// window (nor does the open dialog act on it); the same message sent by another program does.
struct Ending {
    const char* name;
    void (*act)(emu::Millis t);
    bool ends;
    bool suspends;
};

const Ending Endings[] = {
    {"menu Suspend",
     [](emu::Millis t) {
         emu::TapIcon(t);
         emu::ChooseMenuItem(t + 1000, IDM_SUSPEND);
     },
     true, true},
    {"menu Exit",
     [](emu::Millis t) {
         emu::TapIcon(t);
         emu::ChooseMenuItem(t + 1000, IDM_EXIT);
     },
     true, false},
    {"quit request sent",
     [](emu::Millis t) { emu::SendToWindow(t + 1000, MAIN_WINDOW_CLASS, 1124, 0, 0); }, true,
     false},
    {"quit request posted",
     [](emu::Millis t) { emu::PostToWindow(t + 1000, MAIN_WINDOW_CLASS, 1124, 0, 0); }, true,
     false},
    {"quit request posted with a negative lParam",
     [](emu::Millis t) { emu::PostToWindow(t + 1000, MAIN_WINDOW_CLASS, 1124, 0, -1); }, true,
     false},
    {"the shell's low-memory notice", [](emu::Millis t) { emu::LowMemory(t + 1000); }, false,
     false},
    {"low-memory message sent by another program",
     [](emu::Millis t) { emu::SendToWindow(t + 1000, MAIN_WINDOW_CLASS, WM_HIBERNATE, 0, 0); },
     true, false},
    {"suspend command from another program",
     [](emu::Millis t) {
         emu::PostToWindow(t + 1000, MAIN_WINDOW_CLASS, WM_COMMAND, MAKEWPARAM(IDM_SUSPEND, 7),
                           1234);
     },
     true, true},
};

// Acts at 10:05:03; what does not end the program is followed by a quit request at 10:05:10.
// Answers the time at which the program should end.
std::string EndAt(const Ending& c) {
    c.act(At(10, 5, 3));
    if (!c.ends) {
        emu::SendToWindow(At(10, 5, 10), MAIN_WINDOW_CLASS, MSG_QUIT_REQUEST, 0, 0);
    }
    return c.ends ? "10:05:04" : "10:05:10";
}

TEST_P(Scenario, EveryWayToEndARunningCountdown) {
    for (const Ending& c : Endings) {
        SCOPED_TRACE(c.name);
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
        const std::string end = EndAt(c);
        RunToEnd(L"/W 1:30");
        EXPECT_EQ(KeyLines(), c.suspends ? PowerKeyAt(end) : Lines{});
        EXPECT_EQ(emu::TimelineOf("icon removed"), Lines{end + " icon removed: id 1"});
        EXPECT_EQ(emu::TimelineOf("window \"VelmotWndCls\" destroyed").size(), 1u);
    }
}

// The same ways out while the settings dialog is open, from creation and from Set: the
// steps after the dialog touch nothing of the dead window and nothing ends twice.
TEST_P(Scenario, EveryWayToEndWhileTheDialogIsOpen) {
    for (const bool fromSet : {false, true}) {
        for (const Ending& c : Endings) {
            SCOPED_TRACE(std::string(c.name) + (fromSet ? " during Set" : " during creation"));
            test::FreshDevice();
            emu::SetClock(2026, 12, 8, 10, 0, 0);
            if (fromSet) {
                OpenSetAt(At(10, 1, 0));
            }
            const std::string end = EndAt(c);
            RunToEnd(fromSet ? L"/W 1:30" : L"");
            EXPECT_EQ(KeyLines(), c.suspends ? PowerKeyAt(end) : Lines{});
            EXPECT_EQ(emu::TimelineOf("icon removed"), Lines{end + " icon removed: id 1"});
            EXPECT_EQ(emu::TimelineOf("dialog \"Set\" destroyed"),
                      Lines{end + " dialog \"Set\" destroyed"});
            EXPECT_EQ(emu::TimelineOf("window \"VelmotWndCls\" destroyed").size(), 1u);
            // No timer was started after the end.
            EXPECT_EQ(emu::TimelineOf("timer 1 set").size(), fromSet ? 1u : 0u);
        }
    }
}

TEST_P(Scenario, CloseRequestIsIgnored) {
    emu::SendToWindow(At(10, 0, 5), MAIN_WINDOW_CLASS, WM_CLOSE, 0, 0);
    auto icons = std::make_shared<size_t>(0);
    emu::Script(At(10, 0, 6), "count icons", [icons] { *icons = emu::Icons().size(); });
    RunToEnd(L"/W 0:2");
    EXPECT_EQ(*icons, 1u);
    // The countdown kept running: minute 1, then minute 2.
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:02:00"));
}

TEST_P(Scenario, SetDuringACountdownDoesNotCountTheMinutesInTheDialog) {
    emu::SetClock(2026, 12, 8, 10, 19, 30);
    emu::TapIcon(At(10, 20, 20));
    emu::ChooseMenuItem(At(10, 20, 25), IDM_SET);
    auto shown = test::LookAtDialog(At(10, 21, 0));
    emu::PressDone(At(10, 23, 10));
    std::shared_ptr<ScheduleRecord> resumed;
    if (OnHostBuild()) {
        resumed = test::LookAtSchedule(At(10, 23, 15));
    }
    RunToEnd(L"/W 0:6");

    EXPECT_TRUE(shown->Control(IDC_WAIT_RADIO).checked);
    EXPECT_EQ(shown->Control(IDC_WAIT_HOURS).text, L"0");
    EXPECT_EQ(shown->Control(IDC_WAIT_MINUTES).text, L"5");
    if (OnHostBuild()) {
        EXPECT_EQ(resumed->remainingMinutes, 5);
        EXPECT_EQ(resumed->lastMinute, 23);
    }
    EXPECT_EQ(emu::TimelineOf("timer 1"),
              (Lines{"10:19:30 timer 1 set: every 10000 ms", "10:20:25 timer 1 killed",
                     "10:23:10 timer 1 set: every 10000 ms", "10:28:00 timer 1 killed"}));
    for (emu::Millis tick : emu::TimerMessages()) {
        EXPECT_FALSE(tick > At(10, 20, 25) && tick < At(10, 23, 10)) << emu::FormatTime(tick);
    }
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:28:00"));
}

TEST_P(Scenario, SetWhileADialogIsOpenIsIgnored) {
    // From creation: the menu still works over the dialog, but Set opens nothing.
    emu::TapIcon(At(10, 0, 5));
    emu::ChooseMenuItem(At(10, 0, 6), IDM_SET);
    emu::ClickRadio(At(10, 0, 8), IDC_WAIT_RADIO);
    emu::Type(At(10, 0, 9), IDC_WAIT_MINUTES, L"1");
    emu::PressDone(At(10, 0, 10));
    // From an earlier Set.
    emu::TapIcon(At(10, 0, 20));
    emu::ChooseMenuItem(At(10, 0, 21), IDM_SET);
    emu::TapIcon(At(10, 0, 25));
    emu::ChooseMenuItem(At(10, 0, 26), IDM_SET);
    emu::PressDone(At(10, 0, 30));
    RunToEnd(L"");

    EXPECT_EQ(emu::TimelineOf("dialog opened").size(), 2u);
    EXPECT_EQ(emu::MenusShown().size(), 3u);
    // 0 h 1 min (shown as 0 : 1 and confirmed unchanged): due at the first new minute.
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:01:00"));
}

TEST_P(Scenario, AtTimeTargetPassingWhileTheDialogIsOpenWaitsForTheNextDay) {
    emu::TapIcon(At(10, 20, 45));
    emu::ChooseMenuItem(At(10, 20, 50), IDM_SET);
    emu::PressDone(At(10, 22, 5));
    RunToEnd(L"/T 10:21");
    // Checks run at :05, :15, ... once the dialog has closed at 10:22:05.
    EXPECT_EQ(KeyLines(), PowerKeyAt("+1d 10:21:05"));
}

TEST_P(Scenario, TrayCallbackOpensTheMenuOnlyOnLeftButtonUp) {
    emu::IconMouseEvent(At(10, 0, 5), WM_LBUTTONDOWN);
    emu::IconMouseEvent(At(10, 0, 6), 0x10202); // button-up in the low word only
    emu::IconMouseEvent(At(10, 0, 7), 0x0203);
    emu::IconMouseEvent(At(10, 0, 8), WM_LBUTTONUP);
    emu::DismissMenu(At(10, 0, 9));
    QuitAt(At(10, 0, 15));
    RunToEnd(L"/W 1:0");
    ASSERT_EQ(emu::MenusShown().size(), 1u);
    EXPECT_EQ(emu::MenusShown()[0].time, At(10, 0, 8));
    EXPECT_TRUE(emu::Keys().empty());
}

TEST_P(Scenario, OtherTimerIdsAndCommandsDoNothing) {
    // The target minute is 10:00; only messages that are no check arrive during it.
    emu::SetClock(2026, 12, 8, 9, 59, 55);
    emu::PostToWindow(At(9, 59, 58), MAIN_WINDOW_CLASS, WM_COMMAND, 40004, 0);
    emu::Script(At(9, 59, 59), "stop the check timer as a debugger would",
                [] { KillTimer(FindWindowW(MAIN_WINDOW_CLASS, nullptr), CHECK_TIMER_ID); });
    emu::PostToWindow(At(10, 0, 1), MAIN_WINDOW_CLASS, WM_TIMER, 2, 0);
    emu::PostToWindow(At(10, 0, 2), MAIN_WINDOW_CLASS, WM_TIMER, CHECK_TIMER_ID, 0);
    RunToEnd(L"/T 10:0");
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:00:02"));
}

TEST_P(Scenario, SecondStartLeavesTheRunningCopyAlone) {
    StartLater(At(10, 1, 0), L"");
    StartLater(At(10, 2, 0), L"/W 0:0");
    auto icons = std::make_shared<size_t>(0);
    emu::Script(At(10, 2, 1), "count icons", [icons] { *icons = emu::Icons().size(); });
    std::shared_ptr<ScheduleRecord> schedule;
    if (OnHostBuild()) {
        schedule = test::LookAtSchedule(At(10, 2, 5));
    }
    // The running copy's own dialog shows its countdown untouched: 90 minutes less two.
    OpenSetAt(At(10, 2, 10));
    auto shown = test::LookAtDialog(At(10, 2, 12));
    emu::PressDone(At(10, 2, 13));
    QuitAt(At(10, 3, 0));
    RunToEnd(L"/W 1:30");

    EXPECT_EQ(emu::TimelineOf("second copy exited"),
              (Lines{"10:01:00 second copy exited 0", "10:02:00 second copy exited 0"}));
    EXPECT_EQ(*icons, 1u);
    EXPECT_TRUE(shown->Control(IDC_WAIT_RADIO).checked);
    EXPECT_EQ(shown->Control(IDC_WAIT_HOURS).text, L"1");
    EXPECT_EQ(shown->Control(IDC_WAIT_MINUTES).text, L"28");
    EXPECT_EQ(emu::TimelineOf("dialog opened").size(), 1u);
    EXPECT_TRUE(emu::Keys().empty());
    if (OnHostBuild()) {
        EXPECT_EQ(schedule->waitHours, 1);
        EXPECT_EQ(schedule->waitMinutes, 30);
        EXPECT_EQ(schedule->remainingMinutes, 88);
    }
}

TEST_P(Scenario, LongNightUntilSixInTheMorning) {
    emu::SetClock(2026, 12, 8, 23, 0, 0);
    RunToEnd(L"/T 6:00");
    EXPECT_EQ(KeyLines(), PowerKeyAt("+1d 06:00:00"));
    const auto& ticks = emu::TimerMessages();
    ASSERT_EQ(ticks.size(), 7u * 360u);
    for (size_t i = 1; i < ticks.size(); ++i) {
        ASSERT_EQ(ticks[i] - ticks[i - 1], 10000) << "after " << emu::FormatTime(ticks[i - 1]);
    }
}

TEST_P(Scenario, ThousandHourWaitIsNotDueAfterAWholeDay) {
    std::shared_ptr<ScheduleRecord> later;
    if (OnHostBuild()) {
        later = test::LookAtSchedule(At(10, 0, 5, 1));
    }
    OpenSetAt(At(10, 0, 10, 1));
    auto shown = test::LookAtDialog(At(10, 0, 12, 1));
    emu::PressDone(At(10, 0, 13, 1));
    QuitAt(At(10, 0, 20, 1));
    RunToEnd(L"/W 1000:0");
    EXPECT_TRUE(emu::Keys().empty());
    // One minute counted per minute change: a day is 1440 of them, 976 hours are left.
    EXPECT_EQ(shown->Control(IDC_WAIT_HOURS).text, L"976");
    EXPECT_EQ(shown->Control(IDC_WAIT_MINUTES).text, L"0");
    if (OnHostBuild()) {
        EXPECT_EQ(later->remainingMinutes, 60000 - 1440);
    }
}

TEST_P(Scenario, HugeWaitFromTheCommandLineNeverSuspendsAtOnce) {
    QuitAt(At(10, 0, 30));
    RunToEnd(L"/W 99999999999:99");
    EXPECT_TRUE(emu::Keys().empty());
}

} // namespace

namespace {

// Two starts at once: the second begins after the first has passed its class check but
// before its window exists, so only the single-instance mutex can turn it away. Once the
// first has ended, the mutex is gone with it and a new start runs.
TEST_P(Scenario, TwoStartsAtOnceRunOneCopy) {
    for (const char* moment : {"RegisterClassW", "CreateWindowExW"}) {
        SCOPED_TRACE(moment);
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
        emu::StartSecondCopyAt(moment, GetParam().laterStart, L"/W 0:0");
        QuitAt(At(10, 0, 30));
        RunToEnd(L"/W 1:0");
        EXPECT_EQ(emu::TimelineOf("second copy exited"), Lines{"10:00:00 second copy exited 0"});
        EXPECT_EQ(emu::TimelineOf("icon added").size(), 1u);
        EXPECT_EQ(emu::TimelineOf("window \"VelmotWndCls\" created").size(), 1u);
        EXPECT_TRUE(emu::Keys().empty());

        RunToEnd(L"/W 0:0");
        EXPECT_EQ(KeyLines(), PowerKeyAt("10:00:30"));
    }
}

// A window of the class, even one the mutex does not know of, still turns a start away.
TEST_P(Scenario, WindowOfTheClassStillTurnsAStartAway) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    RegisterClassW(&windowClass);
    CreateWindowExW(0, MAIN_WINDOW_CLASS, L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(emu::RunProgram(GetParam().entry, L"/W 0:0"), 0);
    EXPECT_TRUE(emu::Keys().empty());
    EXPECT_TRUE(emu::TimelineOf("icon added").empty());
}

// The shell's notification area comes back empty, during a countdown and while the dialog
// is open: the icon is added again as at creation, and nothing else changes.
TEST_P(Scenario, IconComesBackWhenTheShellRestarts) {
    emu::RestartShell(At(10, 1, 30));
    emu::TapIcon(At(10, 2, 1));
    emu::ChooseMenuItem(At(10, 2, 2), IDM_SET);
    emu::RestartShell(At(10, 2, 30));
    auto shown = test::LookAtDialog(At(10, 2, 31));
    auto icons = std::make_shared<std::vector<emu::IconView>>();
    emu::Script(At(10, 2, 32), "look at the icons", [icons] { *icons = emu::Icons(); });
    emu::PressDone(At(10, 3, 0));
    RunToEnd(L"/W 0:5");

    const std::string added = " icon added: id 1, tip \"Velmot\", icon 101 16x16, callback 1125";
    EXPECT_EQ(emu::TimelineOf("icon added"),
              (Lines{"10:00:00" + added, "10:01:30" + added, "10:02:30" + added}));
    ASSERT_EQ(icons->size(), 1u);
    EXPECT_EQ((*icons)[0].window, emu::MenusShown().at(0).owner);
    EXPECT_EQ(shown->Control(IDC_WAIT_MINUTES).text, L"3");
    EXPECT_EQ(emu::TimelineOf("dialog opened").size(), 1u);
    EXPECT_EQ(emu::TimelineOf("timer 1"),
              (Lines{"10:00:00 timer 1 set: every 10000 ms", "10:02:02 timer 1 killed",
                     "10:03:00 timer 1 set: every 10000 ms", "10:06:00 timer 1 killed"}));
    EXPECT_EQ(KeyLines(), PowerKeyAt("10:06:00"));
}

} // namespace

namespace {

// Every command line of the parser's table, each started on a fresh device at 21:10:40:
// where it leads, seen as the moment of the power-off key; the lines without a leading "/"
// open the dialog as at a start without arguments, and Done is tapped at 21:10:45, after
// which the checks fall on :05, :15, ...
TEST_P(Scenario, CommandLineTable) {
    struct Line {
        const wchar_t* commandLine;
        bool dialog;
        const char* suspendsAt;
    };
    const Line lines[] = {
        {L"", true, "+1d 00:00:05"},
        {L"T 7:30", true, "+1d 00:00:05"},
        {L"/T 23:30", false, "23:30:00"},
        {L"/t23:30", false, "23:30:00"},
        {L"/W 1:30", false, "22:40:00"},
        {L"/W 0 45", false, "21:55:00"},
        {L"/W 2", false, "23:10:00"},
        {L"/T 7", false, "+1d 07:00:00"},
        {L"/W :30", false, "21:40:00"},
        {L"/W 1::: 5", false, "22:15:00"},
        {L"/X 7:30", false, "+1d 07:30:00"},
        {L"/ T 7:30", false, "+1d 00:07:00"},
        {L"/7:30", false, "+1d 00:30:00"},
        {L"/", false, "+1d 00:00:00"},
        {L"/W", false, "21:10:40"},
        {L"/W 1:30 junk", false, "22:40:00"},
        // Beyond the 32-bit signed range the hours are held at its top: never due today.
        {L"/W 3000000000", false, nullptr},
    };
    for (const Line& line : lines) {
        SCOPED_TRACE(
            std::string(line.commandLine, line.commandLine + std::wcslen(line.commandLine)));
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 21, 10, 40);
        std::shared_ptr<emu::DialogView> shown;
        if (line.dialog) {
            shown = test::LookAtDialog(At(21, 10, 41));
            emu::PressDone(At(21, 10, 45));
        }
        if (line.suspendsAt == nullptr) {
            QuitAt(At(23, 0, 0));
        }
        RunToEnd(line.commandLine);
        EXPECT_EQ(KeyLines(), line.suspendsAt ? PowerKeyAt(line.suspendsAt) : Lines{});
        EXPECT_EQ(emu::TimelineOf("dialog opened").size(), line.dialog ? 1u : 0u);
        if (shown) {
            EXPECT_TRUE(shown->Control(IDC_TIME_RADIO).checked);
            EXPECT_FALSE(shown->Control(IDC_WAIT_RADIO).checked);
            for (int field : {IDC_TIME_HOUR, IDC_TIME_MINUTE, IDC_WAIT_HOURS, IDC_WAIT_MINUTES}) {
                EXPECT_EQ(shown->Control(field).text, L"0") << field;
            }
        }
    }
}

} // namespace

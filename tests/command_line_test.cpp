// ParseCommandLine: what each start-up command line leaves in the records.
#include "emulator/device.h"
#include "test_support.h"
#include "schedule/command_line.h"
#include "schedule/schedule.h"
#include "shell/app_state.h"

#include <gtest/gtest.h>

#include <array>
#include <limits.h>
#include <string>

namespace {

// startedWithArguments, then the schedule record's fields in their order.
using State = std::array<int, 8>;

State Current() {
    const ScheduleRecord& r = SuspendSchedule;
    return {AppState.startedWithArguments,
            r.mode,
            r.targetHour,
            r.targetMinute,
            r.waitHours,
            r.waitMinutes,
            r.remainingMinutes,
            r.lastMinute};
}

std::string Shown(const std::wstring& text) {
    return testing::PrintToString(text);
}

struct Row {
    const WCHAR* text;
    int started;
    int mode;
    int targetHour;
    int targetMinute;
    int waitHours;
    int waitMinutes;
    int remainingMinutes;
};

TEST(ParseCommandLine, FromZeroedRecords) {
    const Row rows[] = {
        // text             started mode    tH  tM  wH  wM  remaining
        {L"", 0, AtTime, 0, 0, 0, 0, 0},
        {L"T 7:30", 0, AtTime, 0, 0, 0, 0, 0},
        {L" /T 7:30", 0, AtTime, 0, 0, 0, 0, 0},
        {L"-T 7:30", 0, AtTime, 0, 0, 0, 0, 0},
        {L"/T 23:30", 1, AtTime, 23, 30, 0, 0, 0},
        {L"/t23:30", 1, AtTime, 23, 30, 0, 0, 0},
        {L"/W 1:30", 1, AfterWait, 0, 0, 1, 30, 90},
        {L"/w 1:30", 1, AfterWait, 0, 0, 1, 30, 90},
        {L"/W 0 45", 1, AfterWait, 0, 0, 0, 45, 45},
        {L"/W 2", 1, AfterWait, 0, 0, 2, 0, 120},
        {L"/T 7", 1, AtTime, 7, 0, 0, 0, 0},
        {L"/W :30", 1, AfterWait, 0, 0, 0, 30, 30},
        {L"/W 1::: 5", 1, AfterWait, 0, 0, 1, 5, 65},
        {L"/X 7:30", 1, AtTime, 7, 30, 0, 0, 0},
        {L"/ T 7:30", 1, AtTime, 0, 7, 0, 0, 0},
        {L"/7:30", 1, AtTime, 0, 30, 0, 0, 0},
        {L"/", 1, AtTime, 0, 0, 0, 0, 0},
        {L"/W", 1, AfterWait, 0, 0, 0, 0, 0},
        {L"/W 1:30 junk", 1, AfterWait, 0, 0, 1, 30, 90},
        {L"/T 7x:30", 1, AtTime, 7, 30, 0, 0, 0},
        {L"/T x", 1, AtTime, 0, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Shown(row.text));
        test::FreshDevice();
        ParseCommandLine(row.text);
        const State expected = {
            row.started,   row.mode,        row.targetHour,       row.targetMinute,
            row.waitHours, row.waitMinutes, row.remainingMinutes, 0};
        EXPECT_EQ(Current(), expected);
    }
}

// Records that already hold values, so that a field read as 0 differs from one left alone.
void Preset(int mode) {
    test::FreshDevice();
    SuspendSchedule = {mode, 9, 9, 9, 9, 549, 0};
}

TEST(ParseCommandLine, NullTextChangesNothing) {
    Preset(AfterWait);
    const State before = Current();
    ParseCommandLine(nullptr);
    EXPECT_EQ(Current(), before);
}

TEST(ParseCommandLine, SecondParseKeepsWhatItDoesNotReach) {
    test::FreshDevice();
    ParseCommandLine(L"/W 1:30");
    ParseCommandLine(L"/W 2");
    EXPECT_EQ(SuspendSchedule.waitHours, 2);
    EXPECT_EQ(SuspendSchedule.waitMinutes, 30);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 150);

    // No mode letter: the mode stays AfterWait and the fields go to the waiting period.
    ParseCommandLine(L"/X 5");
    EXPECT_EQ(SuspendSchedule.mode, AfterWait);
    EXPECT_EQ(SuspendSchedule.waitHours, 5);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 330);

    // Switching to AtTime leaves the waiting period and its count as they were.
    ParseCommandLine(L"/T 7:45");
    EXPECT_EQ(Current(), (State{1, AtTime, 7, 45, 5, 30, 330, 0}));
}

TEST(ParseCommandLine, LongFieldIsCutTo255UnitsAndItsRestSkipped) {
    struct Case {
        int zeros; // leading zeros before "7" in the first field
        int hour;
    };
    // 254 zeros and the 7 fill the 255 units exactly; one more zero pushes the 7 out.
    for (const Case c : {Case{254, 7}, Case{255, 0}, Case{300, 0}, Case{10000, 0}}) {
        SCOPED_TRACE(c.zeros);
        Preset(AtTime);
        ParseCommandLine((L"/T " + std::wstring(c.zeros, L'0') + L"7:30").c_str());
        EXPECT_EQ(SuspendSchedule.targetHour, c.hour);
        EXPECT_EQ(SuspendSchedule.targetMinute, 30);
    }

    Preset(AtTime);
    ParseCommandLine((L"/T 7:" + std::wstring(300, L'0') + L"5 8").c_str());
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 0);

    test::FreshDevice();
    ParseCommandLine((L"/W " + std::wstring(10000, L'1') + L":5").c_str());
    EXPECT_EQ(SuspendSchedule.waitHours, INT_MAX);
    EXPECT_EQ(SuspendSchedule.waitMinutes, 5);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, INT_MAX);
}

TEST(ParseCommandLine, HugeNumbersAreHeldToTheSignedRange) {
    const Row rows[] = {
        {L"/W 99999999999:0", 1, AfterWait, 0, 0, INT_MAX, 0, INT_MAX},
        {L"/W -99999999999:0", 1, AfterWait, 0, 0, INT_MIN, 0, INT_MIN},
        {L"/W 2147483647:2147483647", 1, AfterWait, 0, 0, INT_MAX, INT_MAX, INT_MAX},
        {L"/W 0:-2147483649", 1, AfterWait, 0, 0, 0, INT_MIN, INT_MIN},
        {L"/T 2147483648:-2147483649", 1, AtTime, INT_MAX, INT_MIN, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Shown(row.text));
        test::FreshDevice();
        ParseCommandLine(row.text);
        const State expected = {
            row.started,   row.mode,        row.targetHour,       row.targetMinute,
            row.waitHours, row.waitMinutes, row.remainingMinutes, 0};
        EXPECT_EQ(Current(), expected);
    }
}

TEST(ParseCommandLine, SignsAreRead) {
    test::FreshDevice();
    ParseCommandLine(L"/T +7:-5");
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, -5);

    test::FreshDevice();
    ParseCommandLine(L"/W -1:30");
    EXPECT_EQ(SuspendSchedule.remainingMinutes, -30);
}

TEST(ParseCommandLine, TabIsNoFieldSeparator) {
    Preset(AtTime);
    ParseCommandLine(L"/T\t7:30"); // field "\t7": the conversion skips the tab
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 30);

    Preset(AtTime);
    ParseCommandLine(L"/T 7\t30"); // one field "7\t30", no second field
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 9);
}

TEST(ParseCommandLine, NonAsciiUnitsAreNeitherDigitsNorSeparators) {
    Preset(AtTime);
    ParseCommandLine(L"/T \u00e97:30");
    EXPECT_EQ(SuspendSchedule.targetHour, 0);
    EXPECT_EQ(SuspendSchedule.targetMinute, 30);

    Preset(AtTime);
    ParseCommandLine(L"/T \uff17:30"); // a full-width digit seven
    EXPECT_EQ(SuspendSchedule.targetHour, 0);
    EXPECT_EQ(SuspendSchedule.targetMinute, 30);

    Preset(AtTime);
    ParseCommandLine(L"/T 7\u30008:30"); // one field "7<ideographic space>8"
    EXPECT_EQ(SuspendSchedule.targetHour, 7);
    EXPECT_EQ(SuspendSchedule.targetMinute, 30);
}

} // namespace

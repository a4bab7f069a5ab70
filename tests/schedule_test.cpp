// CheckClock and WaitPeriodMinutes against the emulated clock.
#include "emulator/device.h"
#include "test_support.h"
#include "schedule/schedule.h"

#include <gtest/gtest.h>

#include <array>
#include <limits.h>

namespace {

using Fields = std::array<int, 7>;

Fields FieldsOf(const ScheduleRecord& r) {
    return {r.mode,        r.targetHour,       r.targetMinute, r.waitHours,
            r.waitMinutes, r.remainingMinutes, r.lastMinute};
}

void ClockAt(int hour, int minute, int second) {
    emu::SetClock(2026, 3, 14, hour, minute, second);
}

// The record form of the check, at hour:minute:second.
int RecordAt(int hour, int minute, int second) {
    ClockAt(hour, minute, second);
    return CheckClock(1);
}

// The deciding form of the check, at hour:minute:second.
int DueAt(int hour, int minute, int second) {
    ClockAt(hour, minute, second);
    return CheckClock(0);
}

void StartWait(int remaining) {
    SuspendSchedule.mode = AfterWait;
    SuspendSchedule.remainingMinutes = remaining;
}

// ---- Record form -----------------------------------------------------------------------

TEST(CheckClockRecord, StoresOnlyTheMinuteAndAnswersZeroEvenWhenDue) {
    struct Start {
        int mode;
        int remaining;
    };
    // An AtTime target equal to the clock and an AfterWait count already below 1.
    for (const Start start : {Start{AtTime, 5}, Start{AfterWait, 0}}) {
        SCOPED_TRACE(start.mode);
        test::FreshDevice();
        SuspendSchedule = {start.mode, 10, 42, 3, 4, start.remaining, 7};
        Fields expected = FieldsOf(SuspendSchedule);
        expected[6] = 42;

        EXPECT_EQ(RecordAt(10, 42, 30), 0);
        EXPECT_EQ(FieldsOf(SuspendSchedule), expected);
    }
}

// ---- AfterWait -------------------------------------------------------------------------

TEST(CheckClockAfterWait, CountBelowOneIsDueAtTheFirstEvaluation) {
    for (const int remaining : {0, -1, -90, INT_MIN}) {
        SCOPED_TRACE(remaining);
        test::FreshDevice();
        StartWait(remaining);
        ASSERT_EQ(RecordAt(12, 0, 10), 0);

        EXPECT_EQ(DueAt(12, 0, 20), 1);
        EXPECT_EQ(SuspendSchedule.remainingMinutes, remaining);
    }
}

TEST(CheckClockAfterWait, LastMinuteIsDueOnlyOnceTheMinuteTurns) {
    test::FreshDevice();
    StartWait(1);
    RecordAt(12, 0, 50);

    EXPECT_EQ(DueAt(12, 0, 55), 0);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 1);

    EXPECT_EQ(DueAt(12, 1, 5), 1);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 0);
    EXPECT_EQ(SuspendSchedule.lastMinute, 1);
}

TEST(CheckClockAfterWait, CountsOncePerObservedChangeOfTheMinute) {
    test::FreshDevice();
    StartWait(5);
    RecordAt(9, 10, 0);

    struct Step {
        int minute;
        int second;
        int remaining;
    };
    const Step steps[] = {{10, 20, 5}, {10, 40, 5}, {11, 0, 4}, {11, 30, 4}, {14, 0, 3}};
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "09:" << step.minute << ":" << step.second);
        EXPECT_EQ(DueAt(9, step.minute, step.second), 0);
        EXPECT_EQ(SuspendSchedule.remainingMinutes, step.remaining);
        EXPECT_EQ(SuspendSchedule.lastMinute, step.minute);
    }
}

TEST(CheckClockAfterWait, WholeHourGapWithTheSameMinuteDoesNotCount) {
    test::FreshDevice();
    StartWait(5);
    RecordAt(10, 15, 0);

    EXPECT_EQ(DueAt(11, 15, 0), 0);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, 5);
}

TEST(CheckClockAfterWait, CountAtTheBottomOfTheRangeDoesNotWrap) {
    test::FreshDevice();
    StartWait(INT_MIN);
    RecordAt(10, 15, 0);

    EXPECT_EQ(DueAt(10, 16, 0), 1);
    EXPECT_EQ(SuspendSchedule.remainingMinutes, INT_MIN);
    EXPECT_EQ(SuspendSchedule.lastMinute, 16);
}

// ---- AtTime ----------------------------------------------------------------------------

TEST(CheckClockAtTime, DueThroughoutTheTargetMinuteOnlyAndTouchesNothing) {
    struct Sample {
        int hour, minute, second;
        int due;
    };
    const Sample samples[] = {{7, 30, 0, 1}, {7, 30, 59, 1}, {7, 29, 59, 0},
                              {7, 31, 0, 0}, {19, 30, 0, 0}, {8, 30, 0, 0}};
    for (const Sample& s : samples) {
        SCOPED_TRACE(testing::Message() << s.hour << ":" << s.minute << ":" << s.second);
        test::FreshDevice();
        SuspendSchedule = {AtTime, 7, 30, 1, 2, 3, 29};
        const Fields before = FieldsOf(SuspendSchedule);

        EXPECT_EQ(DueAt(s.hour, s.minute, s.second), s.due);
        EXPECT_EQ(FieldsOf(SuspendSchedule), before);
    }
}

TEST(CheckClockAtTime, TargetTheClockNeverShowsIsNeverDue) {
    struct Target {
        int hour, minute;
    };
    for (const Target target : {Target{24, 0}, Target{0, 60}, Target{24, 60}}) {
        SCOPED_TRACE(testing::Message() << target.hour << ":" << target.minute);
        test::FreshDevice();
        SuspendSchedule.targetHour = target.hour;
        SuspendSchedule.targetMinute = target.minute;
        int dueCount = 0;
        for (int t = 0; t < 24 * 3600; t += 10) {
            dueCount += DueAt(t / 3600, t / 60 % 60, t % 60);
        }
        EXPECT_EQ(dueCount, 0);
    }
}

TEST(CheckClockAtTime, MidnightTargetIsDueOnlyDuringTheFirstMinute) {
    test::FreshDevice(); // the zeroed record: AtTime 0:00
    for (int t = 0; t < 24 * 3600; t += 10) {
        const int hour = t / 3600, minute = t / 60 % 60;
        ASSERT_EQ(DueAt(hour, minute, t % 60), hour == 0 && minute == 0) << "at second " << t;
    }
}

// ---- Other modes -----------------------------------------------------------------------

TEST(CheckClockOtherMode, NeverDue) {
    for (const int mode : {2, -1, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(mode);
        test::FreshDevice();
        // Due by either rule were the mode AtTime or AfterWait.
        SuspendSchedule = {mode, 10, 16, 0, 0, 0, 15};

        EXPECT_EQ(DueAt(10, 16, 0), 0);
    }
}

// ---- WaitPeriodMinutes -----------------------------------------------------------------

TEST(WaitPeriodMinutes, ExactOrHeldToTheSignedRange) {
    struct Case {
        int hours, minutes, expected;
    };
    const Case cases[] = {
        {1, 30, 90},
        {0, 0, 0},
        {-5, 0, -300},
        {-1, 30, -30},
        {35791394, 6, INT_MAX - 1},
        {35791394, 7, INT_MAX}, // exactly the largest value
        {35791394, 8, INT_MAX}, // one past it
        {-35791394, -7, INT_MIN + 1},
        {-35791394, -8, INT_MIN}, // exactly the smallest value
        {-35791394, -9, INT_MIN}, // one past it
        {INT_MAX, 0, INT_MAX},
        {INT_MIN, 0, INT_MIN},
        {INT_MAX, INT_MAX, INT_MAX},
        {INT_MIN, INT_MIN, INT_MIN},
        {0, INT_MIN, INT_MIN},
        {INT_MAX, INT_MIN, INT_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WaitPeriodMinutes(c.hours, c.minutes), c.expected)
            << c.hours << " h " << c.minutes << " min";
    }
}

} // namespace

#include "schedule/schedule.h"

#include <limits.h>

ScheduleRecord SuspendSchedule;

int HoldToSignedRange(LONGLONG value) {
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

int WaitPeriodMinutes(int hours, int minutes) {
    return HoldToSignedRange(static_cast<LONGLONG>(hours) * 60 + minutes);
}

static int IsAtTimeDue(int hour, int minute) {
    return hour == SuspendSchedule.targetHour && minute == SuspendSchedule.targetMinute;
}

static int CountDown(int minute) {
    if (minute != SuspendSchedule.lastMinute) {
        SuspendSchedule.lastMinute = minute;
        // Already due at any count below 1; stopping at the bottom keeps the
        // count from wrapping round to a huge positive value.
        if (SuspendSchedule.remainingMinutes > INT_MIN) {
            SuspendSchedule.remainingMinutes -= 1;
        }
    }
    return SuspendSchedule.remainingMinutes < 1;
}

int CheckClock(int recordOnly) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int hour = now.wHour;
    const int minute = now.wMinute;

    if (recordOnly) {
        SuspendSchedule.lastMinute = minute;
        return 0;
    }
    switch (SuspendSchedule.mode) {
    case AtTime:
        return IsAtTimeDue(hour, minute);
    case AfterWait:
        return CountDown(minute);
    default:
        return 0;
    }
}

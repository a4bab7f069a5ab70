#include "schedule/schedule.h"

#include "shell/platform.h"

#include <limits.h>

ScheduleRecord SuspendSchedule;

int WaitPeriodMinutes(int hours, int minutes) {
    long long total = static_cast<long long>(hours) * 60 + minutes;
    if (total > INT_MAX) {
        return INT_MAX;
    }
    if (total < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(total);
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

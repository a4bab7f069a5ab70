// The one schedule the program runs, and the check that decides whether it is due.
#ifndef VELMOT_SCHEDULE_SCHEDULE_H
#define VELMOT_SCHEDULE_SCHEDULE_H

#include "platform/platform.h"

enum ScheduleMode {
    AtTime = 0,   // suspend when the clock shows targetHour:targetMinute
    AfterWait = 1 // suspend when remainingMinutes has counted down below 1
};

// Every field is a signed 32-bit integer. No field is range-checked: a target the clock
// never shows is simply never due, and a count below 1 is due at once.
struct ScheduleRecord {
    int mode;             // a ScheduleMode
    int targetHour;       // AtTime: hour of day to suspend at
    int targetMinute;     // AtTime: minute of that hour
    int waitHours;        // AfterWait: hours of the waiting period, as entered or shown
    int waitMinutes;      // AfterWait: minutes of the same
    int remainingMinutes; // AfterWait: minutes left; due when below 1
    int lastMinute;       // minute of the hour last read from the clock (0-59)
};

// Program-wide, zero-filled at start, never stored anywhere.
extern ScheduleRecord SuspendSchedule;

// Reads the local clock once. recordOnly = 1: remember its minute in lastMinute and
// answer 0. recordOnly = 0: answer 1 when the schedule is due, else 0; in AfterWait mode
// a change of the minute since the last reading counts down by exactly one minute, however
// many minutes went by.
int CheckClock(int recordOnly);

// hours * 60 + minutes, held to the 32-bit signed range instead of wrapping, so that a
// huge waiting period can never turn into a negative count and an immediate suspension.
int WaitPeriodMinutes(int hours, int minutes);

// The value itself when it fits the 32-bit signed range, else the nearer end of it. Every
// number that comes from the user passes through here before it is stored.
int HoldToSignedRange(LONGLONG value);

#endif

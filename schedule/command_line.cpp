#include "schedule/command_line.h"

#include "schedule/schedule.h"
#include "shell/app_state.h"

static int IsFieldEnd(WCHAR unit) {
    return unit == 0 || unit == L':' || unit == L' ';
}

// Copies one field (up to the terminator, ":" or a space) into buffer. A field longer
// than the buffer is cut to fit and its rest skipped. Returns the position of the unit
// that ended the field.
static const WCHAR* CopyField(const WCHAR* text, WCHAR* buffer) {
    int length = 0;
    while (!IsFieldEnd(*text)) {
        if (length < FIELD_BUFFER_UNITS - 1) {
            buffer[length++] = *text;
        }
        ++text;
    }
    buffer[length] = 0;
    return text;
}

// Decimal conversion as the C library does it (leading white space, optional sign,
// digits up to the first non-digit, 0 without digits), held to the 32-bit range where
// the library's long is wider.
static int ConvertField(const WCHAR* buffer) {
    return HoldToSignedRange(wcstol(buffer, NULL, 10));
}

static void StoreFirstField(int value) {
    if (SuspendSchedule.mode == AfterWait) {
        SuspendSchedule.waitHours = value;
    } else {
        SuspendSchedule.targetHour = value;
    }
}

static void StoreSecondField(int value) {
    if (SuspendSchedule.mode == AfterWait) {
        SuspendSchedule.waitMinutes = value;
    } else {
        SuspendSchedule.targetMinute = value;
    }
}

static void ParseFields(const WCHAR* text) {
    WCHAR buffer[FIELD_BUFFER_UNITS];

    while (*text == L' ') {
        ++text;
    }
    text = CopyField(text, buffer);
    StoreFirstField(ConvertField(buffer));
    if (*text == 0) {
        return;
    }
    ++text;
    while (*text == L' ' || *text == L':') {
        ++text;
    }
    CopyField(text, buffer);
    StoreSecondField(ConvertField(buffer));
}

void ParseCommandLine(const WCHAR* text) {
    if (text == NULL || text[0] != L'/') {
        return;
    }
    AppState.startedWithArguments = 1;

    const WCHAR modeLetter = text[1];
    if (modeLetter == L'T' || modeLetter == L't') {
        SuspendSchedule.mode = AtTime;
    } else if (modeLetter == L'W' || modeLetter == L'w') {
        SuspendSchedule.mode = AfterWait;
    }
    // Whatever stands in the mode position is stepped over, even when it is no mode letter.
    if (modeLetter != 0) {
        ParseFields(text + 2);
    }
    if (SuspendSchedule.mode == AfterWait) {
        SuspendSchedule.remainingMinutes =
            WaitPeriodMinutes(SuspendSchedule.waitHours, SuspendSchedule.waitMinutes);
    }
}

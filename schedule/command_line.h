// The start-up command line: /T h:m suspends at a local time, /W h:m after a wait.
#ifndef VELMOT_SCHEDULE_COMMAND_LINE_H
#define VELMOT_SCHEDULE_COMMAND_LINE_H

#include "platform/platform.h"

// Units of the buffer that one field is copied into: 255 and the terminator.
#define FIELD_BUFFER_UNITS 256

// Fills SuspendSchedule from the text (without the program's name) and raises
// AppState.startedWithArguments when it begins with "/". Text without a leading "/"
// (or none at all) changes nothing. Nothing is ever rejected: fields that do not read
// as numbers count as 0, and whatever follows the second field is ignored.
void ParseCommandLine(const WCHAR* text);

#endif

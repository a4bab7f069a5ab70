// The shell's program-wide flags.
#ifndef VELMOT_SHELL_APP_STATE_H
#define VELMOT_SHELL_APP_STATE_H

#include "platform/platform.h"

struct AppStateRecord {
    HINSTANCE instance;       // the module, for the icon and the dialog template
    int startedWithArguments; // 1 when the command line began with "/": no dialog at start
    int busy;                 // 1 while creation or Set runs, its dialog included
    HICON trayIcon;           // the notification icon's picture, loaded once at creation
    UINT taskbarCreated;      // the shell's "TaskbarCreated" message: add the icon again
};

// Program-wide, zero-filled at start.
extern AppStateRecord AppState;

#endif

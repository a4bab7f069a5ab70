// The full-screen settings dialog, in which the user views and edits the schedule.
#ifndef VELMOT_DIALOG_SETTINGS_DIALOG_H
#define VELMOT_DIALOG_SETTINGS_DIALOG_H

#include "platform/platform.h"

DIALOG_RESULT CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif

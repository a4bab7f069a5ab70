// The hidden main window: the program's controller.
#ifndef VELMOT_SHELL_MAIN_WINDOW_H
#define VELMOT_SHELL_MAIN_WINDOW_H

#include "platform/platform.h"

#define CHECK_TIMER_ID 1
#define CHECK_INTERVAL_MS 10000
// Removes the icon and ends the program; other programs may send it too.
#define MSG_QUIT_REQUEST (WM_USER + 100)

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Records the current minute, runs one check at once and starts the check timer.
void ArmCheckCycle(HWND window);

#endif

// Program start: single instance, command line, main window and message loop.
#ifndef VELMOT_SHELL_MAIN_H
#define VELMOT_SHELL_MAIN_H

#include "platform/platform.h"

// Class of the main window; also how other programs find the running copy.
#define MAIN_WINDOW_CLASS L"VelmotWndCls"
// Named mutex held by the running copy for its whole life. Unlike the class, it exists
// from the first moment of a start, so two starts at once cannot both run.
#define SINGLE_INSTANCE_MUTEX L"VelmotSingleInstance"

// Runs the program; answers the process exit code, which is always 0.
int MainEntry(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showState);

// Registers the main window's class and creates the hidden main window (null on failure).
HWND CreateMainWindow(HINSTANCE instance);

#endif

#include "shell/main.h"

#include "schedule/command_line.h"
#include "shell/app_state.h"
#include "shell/main_window.h"

HWND CreateMainWindow(HINSTANCE instance) {
    WNDCLASSW windowClass;
    memset(&windowClass, 0, sizeof(windowClass));
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    RegisterClassW(&windowClass);

    // A caption and nothing else: the window is never shown.
    return CreateWindowExW(0, MAIN_WINDOW_CLASS, L"", WS_CAPTION, 0, 0, CW_USEDEFAULT,
                           CW_USEDEFAULT, NULL, NULL, instance, NULL);
}

int MainEntry(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showState) {
    (void)previousInstance;
    (void)showState;

    AppState.instance = instance;
    // Only one copy runs; a later start leaves the running one alone. The mutex is never
    // closed: the process holds it until it ends. A start that cannot create it still has
    // the class check.
    if (CreateMutexW(NULL, FALSE, SINGLE_INSTANCE_MUTEX) != NULL &&
        GetLastError() == ERROR_ALREADY_EXISTS) {
        return 0;
    }
    if (FindWindowW(MAIN_WINDOW_CLASS, NULL) != NULL) {
        return 0;
    }
    // Sent by the desktop's shell when its notification area is created again; the
    // device's shell never sends it.
    AppState.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ParseCommandLine(commandLine);
    // Creation adds the icon, runs the dialog unless the command line set the schedule,
    // and makes the first check, which may already have ended the program.
    if (CreateMainWindow(instance) == NULL) {
        return 0;
    }
    MSG msg;
    // Retrieval answers -1 on failure; only a real message keeps the loop going.
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

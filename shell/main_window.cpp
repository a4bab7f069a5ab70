#include "shell/main_window.h"

#include "dialog/settings_dialog.h"
#include "resources/resource.h"
#include "schedule/schedule.h"
#include "shell/app_state.h"
#include "shell/notify_icon.h"
#include "shell/suspend.h"

static void RunSettingsDialog(HWND window) {
    HRSRC resource = FindResourceW(AppState.instance, MAKEINTRESOURCEW(IDD_SETTINGS), RT_DIALOG);
    HGLOBAL dialogTemplate = LoadResource(AppState.instance, resource);
    DialogBoxIndirectParamW(AppState.instance, (LPCDLGTEMPLATE)dialogTemplate, window,
                            SettingsDialogProc, 0);
}

void ArmCheckCycle(HWND window) {
    CheckClock(1);
    // The dialog that ran before may have ended the program and destroyed the window.
    if (IsWindow(window)) {
        SendMessageW(window, WM_TIMER, CHECK_TIMER_ID, 0);
    }
    // ...and so may the immediate check.
    if (IsWindow(window)) {
        SetTimer(window, CHECK_TIMER_ID, CHECK_INTERVAL_MS, NULL);
    }
    AppState.busy = 0;
}

static void AddIcon(HWND window) {
    UpdateNotifyIcon(window, NIM_ADD, TRAY_ICON_ID, AppState.trayIcon, L"Velmot");
}

static void Create(HWND window) {
    AppState.trayIcon =
        (HICON)LoadImageW(AppState.instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 16, 16, 0);
    AddIcon(window);
    AppState.busy = 1;
    if (!AppState.startedWithArguments) {
        RunSettingsDialog(window);
    }
    ArmCheckCycle(window);
}

static void Set(HWND window) {
    // A dialog is already open (from creation or an earlier Set).
    if (AppState.busy) {
        return;
    }
    AppState.busy = 1;
    KillTimer(window, CHECK_TIMER_ID);
    RunSettingsDialog(window);
    ArmCheckCycle(window);
}

static void Exit(HWND window) {
    SendMessageW(window, MSG_QUIT_REQUEST, 0, 0);
}

static void SuspendNow(HWND window) {
    SuspendDevice();
    Exit(window);
}

static void Tick(HWND window) {
    if (!CheckClock(0)) {
        return;
    }
    KillTimer(window, CHECK_TIMER_ID);
    SuspendNow(window);
}

static void Command(HWND window, WORD id) {
    switch (id) {
    case IDM_SET:
        Set(window);
        break;
    case IDM_SUSPEND:
        SuspendNow(window);
        break;
    case IDM_EXIT:
        Exit(window);
        break;
    default:
        break;
    }
}

static void Quit(HWND window) {
    UpdateNotifyIcon(window, NIM_DELETE, TRAY_ICON_ID, NULL, L"");
    DestroyWindow(window);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        Create(window);
        return 0;
    case WM_TIMER:
        if (wParam == CHECK_TIMER_ID) {
            Tick(window);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        // Only the menu, a suspension, a quit request or the low-memory notice end the
        // program.
        return 0;
    case WM_COMMAND:
        Command(window, LOWORD(wParam));
        return 0;
    case WM_HIBERNATE:
    case MSG_QUIT_REQUEST:
        Quit(window);
        return 0;
    case MSG_TRAY_NOTIFY:
        // The whole value, not just its low word, must be the button-up.
        if (IS_TRAY_MENU_CLICK(lParam)) {
            ShowTrayMenu(window);
        }
        return 0;
    default:
        // A new notification area has none of the old icons.
        if (message != 0 && message == AppState.taskbarCreated) {
            AddIcon(window);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

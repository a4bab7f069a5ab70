// The desktop's version of the Pocket PC shell library calls that the program makes.
#include "platform/platform.h"

// Size of the Done button, in dialog units.
#define DONE_WIDTH 32
#define DONE_HEIGHT 14
// Its distance from the dialog's top and right edges, in dialog units.
#define DONE_MARGIN 4

// Stretches the dialog over the work area of the monitor it is on: the screen less the
// task bar, as the device's dialogs fill the screen between its two bars.
static void FillWorkArea(HWND dialog) {
    MONITORINFO monitor;
    memset(&monitor, 0, sizeof(monitor));
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT area = monitor.rcWork;
    SetWindowPos(dialog, NULL, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The device shows Done in the dialog's title bar; here it is a default push button in the
// top-right corner. Its id is IDOK, so a click sends the dialog the same command as the
// device's Done.
static void AddDoneButton(HWND dialog) {
    RECT size = {0, 0, DONE_WIDTH, DONE_HEIGHT};
    RECT margin = {0, 0, DONE_MARGIN, DONE_MARGIN};
    MapDialogRect(dialog, &size);
    MapDialogRect(dialog, &margin);
    RECT client;
    memset(&client, 0, sizeof(client));
    GetClientRect(dialog, &client);

    HWND button = CreateWindowExW(
        0, L"Button", L"Done", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
        client.right - margin.right - size.right, margin.bottom, size.right, size.bottom, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), NULL);
    if (button == NULL) {
        return;
    }
    SendMessageW(button, WM_SETFONT, static_cast<WPARAM>(SendMessageW(dialog, WM_GETFONT, 0, 0)),
                 FALSE);
}

BOOL SHInitDialog(PSHINITDLGINFO info) {
    if (info == NULL || !(info->dwMask & SHIDIM_FLAGS) || !IsWindow(info->hDlg)) {
        return FALSE;
    }
    // The size comes first: the Done button is placed against the final right edge.
    if (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN) {
        FillWorkArea(info->hDlg);
    }
    if (info->dwFlags & SHIDIF_DONEBUTTON) {
        AddDoneButton(info->hDlg);
    }
    // SHIDIF_SIPDOWN: the desktop has no input panel to put down.
    return TRUE;
}

BOOL SHSipPreference(HWND window, SIPSTATE state) {
    // The desktop has no input panel; its keyboard is always there.
    (void)window;
    (void)state;
    return TRUE;
}

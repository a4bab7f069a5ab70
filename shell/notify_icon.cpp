#include "shell/notify_icon.h"

#define TOOLTIP_UNITS (sizeof(((NOTIFYICONDATA*)0)->szTip) / sizeof(WCHAR))

void UpdateNotifyIcon(HWND window, DWORD operation, UINT iconId, HICON icon, const WCHAR* tooltip) {
    NOTIFYICONDATA data;
    memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = iconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = MSG_TRAY_NOTIFY;
    data.hIcon = icon;
    // The record is zero-filled, so the last unit stays the terminator even when the
    // text is cut to fit.
    wcsncpy(data.szTip, tooltip != NULL ? tooltip : L"", TOOLTIP_UNITS - 1);
    Shell_NotifyIcon(operation, &data);
}

void ShowTrayMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (menu == NULL) {
        return;
    }
    AppendMenuW(menu, MF_STRING, IDM_SET, L"&Set");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_STRING, IDM_SUSPEND, L"Sus&pend");
    AppendMenuW(menu, MF_STRING, IDM_EXIT, L"&Exit application");

    SetForegroundWindow(window);
    RECT rect;
    memset(&rect, 0, sizeof(rect));
    GetWindowRect(window, &rect);
    TrackPopupMenuEx(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, rect.right, rect.bottom, window, NULL);
    DestroyMenu(menu);
    // Lets the menu's owner leave the foreground cleanly once the menu is gone.
    PostMessageW(window, WM_NULL, 0, 0);
}

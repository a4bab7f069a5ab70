// The notification icon and its popup menu.
#ifndef VELMOT_SHELL_NOTIFY_ICON_H
#define VELMOT_SHELL_NOTIFY_ICON_H

#include "platform/platform.h"

#define TRAY_ICON_ID 1
// Callback message of the icon: mouse events on it, with the mouse message in lParam.
#define MSG_TRAY_NOTIFY (WM_USER + 101)

// Menu commands.
#define IDM_SET 40001
#define IDM_SUSPEND 40002
#define IDM_EXIT 40003

// Adds (NIM_ADD) or deletes (NIM_DELETE) the icon of window with the given id. A null
// tooltip stands for "".
void UpdateNotifyIcon(HWND window, DWORD operation, UINT iconId, HICON icon, const WCHAR* tooltip);

// Shows the popup menu at the bottom-right corner of window; the chosen item comes back
// to window as a command message.
void ShowTrayMenu(HWND window);

#endif

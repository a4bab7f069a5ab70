// The one header through which the program reaches the platform.
//
// - On the device (Windows CE) and on the host, the project's own declaration of the
//   device's interface (platform_api.h): the core library and the Pocket PC shell library,
//   with only the device's names. The device build links against the real libraries; the
//   host build against the emulated device, which implements the same declarations.
// - On desktop Windows the system's headers, plus the small stand-ins in desktop/ for what
//   the desktop lacks (the shell library's dialog set-up and input panel, the power-off key)
//   and for where the desktop differs (the icon's size, where its menu opens, which clicks
//   open it).
#ifndef VELMOT_PLATFORM_PLATFORM_H
#define VELMOT_PLATFORM_PLATFORM_H

#if defined(_WIN32)
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include "desktop/desktop_platform.h"
typedef INT_PTR DIALOG_RESULT;
#else
#include "platform/platform_api.h"
// The device's dialog procedures answer with a BOOL.
typedef BOOL DIALOG_RESULT;
#endif

// Whether the notification icon's callback reports a click that opens its menu; mouseMessage
// is the whole lParam of the callback. On the device only a lifted tap does; the desktop's
// header adds the right button.
#ifndef IS_TRAY_MENU_CLICK
#define IS_TRAY_MENU_CLICK(mouseMessage) ((mouseMessage) == WM_LBUTTONUP)
#endif

#endif

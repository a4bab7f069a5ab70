// The one header through which the program reaches the platform.
//
// - On the device (Windows CE) the platform's own headers: the core library and the
//   Pocket PC shell library.
// - On desktop Windows the same headers, plus the small stand-ins in desktop/ for what the
//   desktop lacks (the shell library's dialog set-up and input panel, the power-off key) and
//   for where the desktop differs (the icon's size, where its menu opens, which clicks open
//   it).
// - On the host the emulated device's declarations, which carry only the device's names.
#ifndef VELMOT_PLATFORM_PLATFORM_H
#define VELMOT_PLATFORM_PLATFORM_H

#if defined(_WIN32) || defined(UNDER_CE)
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <shellapi.h>
#if defined(UNDER_CE)
#include <aygshell.h>
// The power button as a virtual key; not every SDK's headers name it.
#ifndef VK_OFF
#define VK_OFF 0xDF
#endif
// The device's dialog procedures answer with a BOOL.
typedef BOOL DIALOG_RESULT;
#else
#include "desktop/desktop_platform.h"
typedef INT_PTR DIALOG_RESULT;
#endif
#else
#include "emulator/platform_api.h"
typedef BOOL DIALOG_RESULT;
#endif

// Whether the notification icon's callback reports a click that opens its menu; mouseMessage
// is the whole lParam of the callback. On the device only a lifted tap does; the desktop's
// header adds the right button.
#ifndef IS_TRAY_MENU_CLICK
#define IS_TRAY_MENU_CLICK(mouseMessage) ((mouseMessage) == WM_LBUTTONUP)
#endif

#include <string.h>
#include <stdlib.h>
#include <wchar.h>

#endif

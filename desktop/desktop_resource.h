// Resource ids that only the desktop's velmot.exe carries (desktop/velmot_desktop.rc).
#ifndef VELMOT_DESKTOP_DESKTOP_RESOURCE_H
#define VELMOT_DESKTOP_DESKTOP_RESOURCE_H

// Icon group of the desktop's icon: the notification icon's picture in 32-bit colour with
// alpha at 16, 20, 24, 32, 40 and 48 pixels, the notification area's sizes at 100 % to 300 %.
// Explorer shows a program file's first icon group, and a resource directory lists named
// entries first, then numbered ones in ascending order: 1, the lowest number, puts this group
// before the device's (101) and before any other numbered one.
#define IDI_DESKTOP 1

#endif

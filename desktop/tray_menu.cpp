// The notification icon's menu on the desktop.
#include "platform/platform.h"

// The real call, which the program's name for it (see desktop_platform.h) hides.
#undef TrackPopupMenuEx

BOOL DesktopTrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params) {
    // The menu opens at the cursor, which is on the icon the user just clicked, as every
    // notification-area menu does; the program's own point is kept in case the cursor cannot
    // be read.
    POINT cursor;
    if (GetCursorPos(&cursor)) {
        x = cursor.x;
        y = cursor.y;
    }
    return TrackPopupMenuEx(menu, flags, x, y, owner, params);
}

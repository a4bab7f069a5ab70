// The notification icon's picture on the desktop.
#include "platform/platform.h"

#include "desktop/desktop_resource.h"
#include "resources/resource.h"

// The real call, which the program's name for it (see desktop_platform.h) hides.
#undef LoadImageW

#include <commctrl.h>

HANDLE DesktopLoadImage(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height,
                        UINT flags) {
    if (type == IMAGE_ICON && name == MAKEINTRESOURCEW(IDI_TRAY)) {
        // The notification area shows its icons at the small-icon size for the system's DPI.
        // LoadIconMetric loads the desktop's group at that size: the image of that size where
        // there is one (at 100, 125, 150, 200, 250 and 300 %), otherwise a larger one scaled
        // down. It is in version 6 of the common controls, which the manifest asks for.
        HICON icon = NULL;
        if (SUCCEEDED(LoadIconMetric(instance, MAKEINTRESOURCEW(IDI_DESKTOP), LIM_SMALL, &icon)) &&
            icon != NULL) {
            return icon;
        }
        // Without it (a build without the desktop's resources, say), the device's picture at
        // the size asked for.
    }
    return LoadImageW(instance, name, type, width, height, flags);
}

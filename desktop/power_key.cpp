// The device's power-off key, on a desktop that has none.
#include "platform/platform.h"

// The real key-event call, which the program's name for it (see desktop_platform.h) hides.
#undef keybd_event

void DesktopKeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) {
    if (virtualKey != VK_OFF) {
        keybd_event(virtualKey, scanCode, flags, extraInfo);
        return;
    }
    // The device suspends when the key goes down; its release does nothing more.
    if (!(flags & KEYEVENTF_KEYUP)) {
        DesktopSleep();
    }
}

#include "shell/suspend.h"

#include "platform/platform.h"

void SuspendDevice() {
    // The platform suspends the device when it processes the power-off key.
    keybd_event(VK_OFF, 0, 0, 0);
    keybd_event(VK_OFF, 0, KEYEVENTF_KEYUP, 0);
}

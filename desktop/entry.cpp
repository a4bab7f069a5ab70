// The desktop's process entry: the program as on the device, and what the desktop adds
// around it.
#include "shell/main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showState) {
    return MainEntry(instance, previousInstance, commandLine, showState);
}

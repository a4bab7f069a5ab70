// The device's process entry; the desktop has its own (desktop/entry.cpp), and the host runs
// MainEntry on the emulated device instead.
#include "shell/main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                   int showState) {
    return MainEntry(instance, previousInstance, commandLine, showState);
}

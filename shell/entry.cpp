// The Windows builds' process entry; the host runs MainEntry on the emulated device instead.
#include "shell/main.h"

int WINAPI PROGRAM_ENTRY(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                         int showState) {
    return MainEntry(instance, previousInstance, commandLine, showState);
}

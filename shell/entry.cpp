// The device's process entry; the desktop has its own (desktop/entry.cpp), and the host runs
// MainEntry on the emulated device instead.
//
// WinMain is the image's entry point itself, without the C run-time's start-up: the device's
// loader calls an executable's entry with WinMain's four arguments, and when the primary
// thread returns from it the process ends with the returned code. The program needs nothing
// that the start-up would prepare (no heap, no stdio, no static constructors), and leaving it
// out drops the start-up's heap and stdio imports and a quarter of the image.
//
// Its two records start at zero because the link puts them in a .bss section without raw
// data in the file (cmake/ce_image.ld), which the loader maps all zero: the loader
// zero-fills only what a section's header leaves out, and reads the raw data that the header
// declares from wherever it points.
#include "shell/main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                   int showState) {
    return MainEntry(instance, previousInstance, commandLine, showState);
}

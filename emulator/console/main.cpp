// The emulated Pocket PC in a terminal, running a device image (--image FILE).
#include "emulator/console/console.h"

int main(int argc, char** argv) {
    return emu::console::Main(argc, argv, nullptr, nullptr);
}

// The emulated Pocket PC in a terminal, on the web or through a pipe, running a device image
// (--image FILE).
#include "emulator/frontend/frontend.h"

int main(int argc, char** argv) {
    return emu::frontend::Main(argc, argv, nullptr, nullptr);
}

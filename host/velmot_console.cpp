// The host build of the program on the emulated Pocket PC's screen, which the console's tests
// and benchmark run beside the device image. Glue of the host build only: the console knows
// nothing of the program, so the program hands it its entry point here; linking the two is
// simpler than loading the host build as a shared module, which would have to find the
// console's one emulated device at run time.
#include "emulator/frontend/frontend.h"
#include "shell/main.h"

int main(int argc, char** argv) {
    return emu::frontend::Main(argc, argv, MainEntry, "velmot (host build)");
}

// The host build of the program on the emulated Pocket PC's screen, for scripts/run.sh when
// no device toolchain is found. The console knows nothing of the program, so the program
// hands it its entry point here; linking the two is simpler than loading the host build as
// a shared module, which would have to find the console's one emulated device at run time.
#include "emulator/console/console.h"
#include "shell/main.h"

int main(int argc, char** argv) {
    return emu::console::Main(argc, argv, MainEntry, "velmot (host build)");
}

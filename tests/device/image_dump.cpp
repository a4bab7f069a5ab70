// Prints what the runner's reader of device images reads from an executable, one line per
// item, for tests/device/check_reader.py to compare with pefile's reading of the same file.
#include "emulator/device.h"
#include "emulator/runner/image.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_dump EXE\n");
        return 2;
    }
    try {
        using namespace emu::runner;
        const Image image = ReadImageFile(argv[1]);
        std::printf("machine 0x%x subsystem %u %u.%u\n", image.machine, image.subsystem,
                    image.subsystemMajor, image.subsystemMinor);
        std::printf("base 0x%x size 0x%x headers 0x%x entry 0x%x stack 0x%x\n", image.imageBase,
                    image.sizeOfImage, image.sizeOfHeaders, image.entry, image.stackReserve);
        for (const Section& s : image.sections) {
            std::printf("section %s 0x%x 0x%x 0x%x 0x%x 0x%x\n", s.name.c_str(), s.virtualAddress,
                        s.virtualSize, s.rawPointer, s.rawSize, s.characteristics);
        }
        const std::vector<uint8_t> memory = MapImage(image);
        for (const Import& i : ReadImports(image, memory)) {
            std::printf("import %s %s %d 0x%x\n", i.library.c_str(),
                        i.ordinal >= 0 ? "-" : i.name.c_str(), i.ordinal >= 0 ? i.ordinal : i.hint,
                        i.slot);
        }
        for (const ResourceEntry& r : ListResources(image, memory)) {
            std::printf("resource %d %d %d 0x%x %u\n", r.type, r.name, r.language, r.address,
                        r.size);
        }
    } catch (const emu::Failure& failure) {
        std::fprintf(stderr, "image_dump: %s\n", failure.what());
        return 1;
    }
    return 0;
}

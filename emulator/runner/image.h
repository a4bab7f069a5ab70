// A Windows CE executable as the device's loader reads it: its headers, its sections mapped
// into memory exactly as their headers say, its imports and its resources. Nothing here runs
// code; process.h does.
#ifndef VELMOT_EMULATOR_RUNNER_IMAGE_H
#define VELMOT_EMULATOR_RUNNER_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

namespace emu::runner {

struct Section {
    std::string name;
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawPointer; // PointerToRawData
    uint32_t rawSize;    // SizeOfRawData
    uint32_t characteristics;
};

// One entry of an import lookup table.
struct Import {
    std::string library; // as the descriptor names it
    std::string name;    // empty when imported by ordinal
    int ordinal;         // -1 when imported by name
    uint16_t hint;
    uint32_t slot; // image-relative address of its import address table entry
};

struct Image {
    std::vector<uint8_t> file;
    uint16_t machine = 0;
    uint16_t subsystem = 0;
    uint16_t subsystemMajor = 0;
    uint16_t subsystemMinor = 0;
    uint32_t imageBase = 0;
    uint32_t sizeOfImage = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t entry = 0; // image-relative
    uint32_t stackReserve = 0;
    uint32_t importTable = 0; // image-relative address of the import descriptors
    uint32_t resourceTable = 0;
    uint32_t resourceSize = 0;
    uint32_t addressTable = 0; // image-relative address and size of the import address table
    uint32_t addressTableSize = 0;
    std::vector<Section> sections;
};

// Reads the headers of an executable file, refusing, as the loader of a Windows CE 3.00
// device does, anything but an ARM program for the Windows CE GUI subsystem of version 3.00
// or earlier, and sections that claim raw data past the end of the file. Throws emu::Failure
// naming the reason.
Image ReadImage(std::vector<uint8_t> file);
Image ReadImageFile(const std::string& path);

// The image's memory as the loader lays it out (sizeOfImage bytes from the image base): the
// headers, then each section's min(rawSize, virtualSize) bytes read from the file at
// rawPointer, whatever that offset is, and zeros for the rest.
std::vector<uint8_t> MapImage(const Image& image);

// The import lookup tables, read from mapped memory up to the first descriptor whose lookup
// table is 0, as the loader reads them.
std::vector<Import> ReadImports(const Image& image, const std::vector<uint8_t>& memory);

// A resource of the mapped image by type and name (both numbers), in its first language:
// its image-relative address and size, or false when there is none.
bool FindResourceData(const Image& image, const std::vector<uint8_t>& memory, int type, int name,
                      uint32_t* address, uint32_t* size);

// Every resource as (type, name, language, address, size), for the reader's own checks.
struct ResourceEntry {
    int type, name, language;
    uint32_t address, size;
};
std::vector<ResourceEntry> ListResources(const Image& image, const std::vector<uint8_t>& memory);

} // namespace emu::runner

#endif

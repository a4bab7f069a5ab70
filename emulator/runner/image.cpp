// Reading and mapping a Windows CE executable as the device's loader does.
#include "emulator/runner/image.h"

#include "emulator/device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace emu::runner {

namespace {

constexpr uint16_t MachineArm = 0x01C0;
constexpr uint16_t SubsystemWindowsCeGui = 9;
// The newest system version a Pocket PC 2002 runs: Windows CE 3.00.
constexpr uint16_t SystemMajor = 3;
constexpr uint16_t SystemMinor = 0;

// Little-endian reads that fail loudly past the end of what they read from.
uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at, const char* what) {
    if (at > bytes.size() || bytes.size() - at < 4) {
        throw Failure(std::string(what) + " lies outside the image");
    }
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Read16(const std::vector<uint8_t>& bytes, size_t at, const char* what) {
    if (at > bytes.size() || bytes.size() - at < 2) {
        throw Failure(std::string(what) + " lies outside the image");
    }
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string ReadName(const std::vector<uint8_t>& bytes, size_t at, const char* what) {
    std::string name;
    for (;; ++at) {
        if (at >= bytes.size()) {
            throw Failure(std::string(what) + " runs outside the image");
        }
        if (bytes[at] == 0) {
            return name;
        }
        name += static_cast<char>(bytes[at]);
    }
}

std::string HexText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

} // namespace

Image ReadImage(std::vector<uint8_t> file) {
    Image image;
    image.file = std::move(file);
    const std::vector<uint8_t>& f = image.file;
    if (Read16(f, 0, "the DOS header") != 0x5A4D) {
        throw Failure("bad executable format: no DOS header");
    }
    const uint32_t pe = Read32(f, 0x3C, "the DOS header");
    if (Read32(f, pe, "the PE signature") != 0x00004550) {
        throw Failure("bad executable format: no PE signature");
    }
    const size_t coff = pe + 4;
    image.machine = Read16(f, coff, "the file header");
    if (image.machine != MachineArm) {
        throw Failure("bad executable format: machine " + HexText(image.machine) +
                      " is not ARM (0x1C0)");
    }
    const uint16_t sectionCount = Read16(f, coff + 2, "the file header");
    const uint16_t optionalSize = Read16(f, coff + 16, "the file header");
    const size_t optional = coff + 20;
    if (Read16(f, optional, "the optional header") != 0x10B) {
        throw Failure("bad executable format: not a PE32 image");
    }
    image.entry = Read32(f, optional + 16, "the optional header");
    image.imageBase = Read32(f, optional + 28, "the optional header");
    image.subsystemMajor = Read16(f, optional + 48, "the optional header");
    image.subsystemMinor = Read16(f, optional + 50, "the optional header");
    image.sizeOfImage = Read32(f, optional + 56, "the optional header");
    image.sizeOfHeaders = Read32(f, optional + 60, "the optional header");
    image.subsystem = Read16(f, optional + 68, "the optional header");
    image.stackReserve = Read32(f, optional + 72, "the optional header");
    const uint32_t directories = Read32(f, optional + 92, "the optional header");
    if (directories > 1) {
        image.importTable = Read32(f, optional + 96 + 8, "the import directory");
    }
    if (directories > 2) {
        image.resourceTable = Read32(f, optional + 96 + 16, "the resource directory");
        image.resourceSize = Read32(f, optional + 96 + 20, "the resource directory");
    }
    if (directories > 12) {
        image.addressTable = Read32(f, optional + 96 + 96, "the import address directory");
        image.addressTableSize = Read32(f, optional + 96 + 100, "the import address directory");
    }
    if (image.subsystem != SubsystemWindowsCeGui) {
        throw Failure("bad executable format: subsystem " + std::to_string(image.subsystem) +
                      " is not Windows CE GUI (9)");
    }
    if (image.subsystemMajor > SystemMajor ||
        (image.subsystemMajor == SystemMajor && image.subsystemMinor > SystemMinor)) {
        throw Failure("old Windows version: the program asks for Windows CE " +
                      std::to_string(image.subsystemMajor) + "." +
                      std::to_string(image.subsystemMinor) + ", the device runs 3.00");
    }
    if (image.sizeOfImage == 0 || image.sizeOfImage > 0x01000000) {
        throw Failure("bad executable format: image size " + HexText(image.sizeOfImage));
    }

    for (size_t i = 0, at = optional + optionalSize; i < sectionCount; ++i, at += 40) {
        Section section;
        section.characteristics = Read32(f, at + 36, "a section header"); // the header's end
        for (size_t c = 0; c < 8 && f[at + c] != 0; ++c) {
            section.name += static_cast<char>(f[at + c]);
        }
        section.virtualSize = Read32(f, at + 8, "a section header");
        section.virtualAddress = Read32(f, at + 12, "a section header");
        section.rawSize = Read32(f, at + 16, "a section header");
        section.rawPointer = Read32(f, at + 20, "a section header");
        if (static_cast<uint64_t>(section.rawPointer) + section.rawSize > f.size()) {
            throw Failure("bad executable format: section " + section.name +
                          " claims raw data past the end of the file");
        }
        if (static_cast<uint64_t>(section.virtualAddress) + section.virtualSize >
            image.sizeOfImage) {
            throw Failure("bad executable format: section " + section.name +
                          " lies outside the image");
        }
        image.sections.push_back(section);
    }
    if (image.entry >= image.sizeOfImage) {
        throw Failure("bad executable format: the entry lies outside the image");
    }
    return image;
}

Image ReadImageFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Failure("cannot read the image " + path);
    }
    return ReadImage(
        std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

std::vector<uint8_t> MapImage(const Image& image) {
    std::vector<uint8_t> memory(image.sizeOfImage, 0);
    const size_t headers =
        std::min<size_t>({image.sizeOfHeaders, image.file.size(), memory.size()});
    std::copy_n(image.file.begin(), headers, memory.begin());
    for (const Section& section : image.sections) {
        // The loader reads what the header says from where it says, offset 0 included.
        const size_t bytes = std::min(section.rawSize, section.virtualSize);
        std::copy_n(image.file.begin() + section.rawPointer, bytes,
                    memory.begin() + section.virtualAddress);
    }
    return memory;
}

std::vector<Import> ReadImports(const Image& image, const std::vector<uint8_t>& memory) {
    std::vector<Import> imports;
    if (image.importTable == 0) {
        return imports;
    }
    for (size_t descriptor = image.importTable;; descriptor += 20) {
        const uint32_t lookup = Read32(memory, descriptor, "an import descriptor");
        if (lookup == 0) {
            break; // a descriptor without a lookup table ends the list
        }
        const std::string library =
            ReadName(memory, Read32(memory, descriptor + 12, "an import descriptor"),
                     "an imported library's name");
        const uint32_t slots = Read32(memory, descriptor + 16, "an import descriptor");
        for (uint32_t i = 0;; ++i) {
            const uint32_t entry = Read32(memory, lookup + i * 4, "an import lookup table");
            if (entry == 0) {
                break;
            }
            Import import{library, "", -1, 0, slots + i * 4};
            if (entry & 0x80000000u) {
                import.ordinal = static_cast<int>(entry & 0xFFFF);
            } else {
                import.hint = Read16(memory, entry, "an import's hint");
                import.name = ReadName(memory, entry + 2, "an imported name");
            }
            Read32(memory, import.slot, "an import address table entry");
            imports.push_back(import);
        }
    }
    return imports;
}

namespace {

struct DirectoryEntry {
    int id; // -1 for a name
    uint32_t offset;
    bool directory;
};

// The entries of one resource directory at an offset from the start of the resource table.
std::vector<DirectoryEntry> ReadDirectory(const Image& image, const std::vector<uint8_t>& memory,
                                          uint32_t offset) {
    const size_t at = static_cast<size_t>(image.resourceTable) + offset;
    const int named = Read16(memory, at + 12, "a resource directory");
    const int numbered = Read16(memory, at + 14, "a resource directory");
    std::vector<DirectoryEntry> entries;
    for (int i = 0; i < named + numbered; ++i) {
        const uint32_t name = Read32(memory, at + 16 + i * 8, "a resource directory entry");
        const uint32_t target = Read32(memory, at + 20 + i * 8, "a resource directory entry");
        entries.push_back({(name & 0x80000000u) ? -1 : static_cast<int>(name & 0xFFFF),
                           target & 0x7FFFFFFFu, (target & 0x80000000u) != 0});
    }
    return entries;
}

} // namespace

std::vector<ResourceEntry> ListResources(const Image& image, const std::vector<uint8_t>& memory) {
    std::vector<ResourceEntry> all;
    if (image.resourceTable == 0) {
        return all;
    }
    for (const DirectoryEntry& type : ReadDirectory(image, memory, 0)) {
        if (!type.directory) {
            continue;
        }
        for (const DirectoryEntry& name : ReadDirectory(image, memory, type.offset)) {
            if (!name.directory) {
                continue;
            }
            for (const DirectoryEntry& language : ReadDirectory(image, memory, name.offset)) {
                if (language.directory) {
                    continue;
                }
                const size_t data = static_cast<size_t>(image.resourceTable) + language.offset;
                all.push_back({type.id, name.id, language.id,
                               Read32(memory, data, "a resource data entry"),
                               Read32(memory, data + 4, "a resource data entry")});
            }
        }
    }
    return all;
}

bool FindResourceData(const Image& image, const std::vector<uint8_t>& memory, int type, int name,
                      uint32_t* address, uint32_t* size) {
    for (const ResourceEntry& entry : ListResources(image, memory)) {
        if (entry.type == type && entry.name == name) {
            if (static_cast<uint64_t>(entry.address) + entry.size > memory.size()) {
                throw Failure("resource " + std::to_string(type) + "/" + std::to_string(name) +
                              " lies outside the image");
            }
            *address = entry.address;
            *size = entry.size;
            return true;
        }
    }
    return false;
}

} // namespace emu::runner

// The emulated core library: the program's resources, read from the compiled resource script.
#include "emulator/internal.h"

#include <cstdlib>
#include <cstring>

extern const unsigned char VelmotCompiledResources[];
extern const std::size_t VelmotCompiledResourcesSize;

namespace emu::detail {

namespace {

struct Resource {
    int type; // ordinals only: the program names its resources by number
    int name;
    const unsigned char* data;
    size_t size;
};

DWORD ReadDword(const unsigned char* at) {
    DWORD value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

WORD ReadWord(const unsigned char* at) {
    WORD value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

// A type or name field of a resource header: an ordinal (0xFFFF, number) or a string.
int ReadId(const unsigned char* at, size_t* length) {
    if (ReadWord(at) == 0xFFFF) {
        *length = 4;
        return ReadWord(at + 2);
    }
    size_t units = 0;
    while (ReadWord(at + units * 2) != 0) {
        ++units;
    }
    *length = (units + 1) * 2;
    return -1;
}

// The entries of a .res file: a header (sizes, type, name, version fields) and the data,
// each padded to four bytes.
std::vector<Resource> ReadAll() {
    std::vector<Resource> all;
    const unsigned char* base = VelmotCompiledResources;
    size_t offset = 0;
    while (offset + 8 <= VelmotCompiledResourcesSize) {
        const DWORD dataSize = ReadDword(base + offset);
        const DWORD headerSize = ReadDword(base + offset + 4);
        if (headerSize < 16 || offset + headerSize + dataSize > VelmotCompiledResourcesSize) {
            throw Failure("compiled resources: malformed entry at byte " + std::to_string(offset));
        }
        size_t typeLength = 0, nameLength = 0;
        const int type = ReadId(base + offset + 8, &typeLength);
        const int name = ReadId(base + offset + 8 + typeLength, &nameLength);
        if (dataSize != 0) {
            all.push_back({type, name, base + offset + headerSize, dataSize});
        }
        offset += headerSize + dataSize;
        offset = (offset + 3) & ~static_cast<size_t>(3);
    }
    return all;
}

const std::vector<Resource>& All() {
    static const std::vector<Resource> all = ReadAll();
    return all;
}

// The number behind a resource name or type given as MAKEINTRESOURCE.
int Ordinal(LPCWSTR id) {
    return static_cast<int>(reinterpret_cast<uintptr_t>(id));
}

const unsigned char* ResourceData(int type, int name, size_t* size) {
    if (S().resources) {
        return S().resources(type, name, size);
    }
    for (const Resource& resource : All()) {
        if (resource.type == type && resource.name == name) {
            *size = resource.size;
            return resource.data;
        }
    }
    return nullptr;
}

} // namespace

} // namespace emu::detail

using namespace emu;
using namespace emu::detail;

namespace emu {

ResourceSource SetProgramResources(ResourceSource source) {
    ResourceSource previous = std::move(S().resources);
    S().resources = std::move(source);
    return previous;
}

} // namespace emu

// The device's rules for the module: FindResource takes no null module; LoadResource reads
// a null one as the current process's program; LoadImage loads the system's own (OEM)
// images for a null one, of which the emulator has none.
HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (module != ProgramInstance() || !IS_INTRESOURCE(name) || !IS_INTRESOURCE(type)) {
        return nullptr;
    }
    size_t size = 0;
    const unsigned char* data = ResourceData(Ordinal(type), Ordinal(name), &size);
    if (data == nullptr) {
        return nullptr;
    }
    for (const auto& [handle, found] : S().foundResources) {
        if (found.data == data) {
            return reinterpret_cast<HRSRC>(handle);
        }
    }
    const uintptr_t handle = S().nextResource++;
    S().foundResources[handle] = {data, size};
    return reinterpret_cast<HRSRC>(handle);
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC handle) {
    auto found = S().foundResources.find(reinterpret_cast<uintptr_t>(handle));
    if ((module != nullptr && module != ProgramInstance()) || found == S().foundResources.end()) {
        return nullptr;
    }
    // As on the device, the loaded resource is a pointer to its bytes.
    return const_cast<unsigned char*>(found->second.data);
}

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height,
                         UINT flags) {
    if (instance != ProgramInstance() || !IS_INTRESOURCE(name) || type != IMAGE_ICON ||
        flags != 0) {
        return nullptr;
    }
    const int groupId = Ordinal(name);
    size_t size = 0;
    const unsigned char* group = ResourceData(Ordinal(RT_GROUP_ICON), groupId, &size);
    if (group == nullptr || size < 6) {
        return nullptr;
    }
    // The group lists its images (14 bytes each); take the one of the asked size, or the
    // nearest in width when there is none.
    const int count = ReadWord(group + 4);
    int best = -1, bestDistance = 0;
    for (int i = 0; i < count && 6 + (i + 1) * 14 <= static_cast<int>(size); ++i) {
        const unsigned char* entry = group + 6 + i * 14;
        const int w = entry[0] != 0 ? entry[0] : 256;
        const int h = entry[1] != 0 ? entry[1] : 256;
        const int distance = std::abs(w - width) + std::abs(h - height);
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    if (best < 0) {
        return nullptr;
    }
    const unsigned char* entry = group + 6 + best * 14;
    size_t imageSize = 0;
    const unsigned char* image = ResourceData(Ordinal(RT_ICON), ReadWord(entry + 12), &imageSize);
    if (image == nullptr || imageSize < 40) {
        return nullptr;
    }
    // The image itself: a bitmap header whose height counts the mask too.
    const int imageWidth = static_cast<int>(ReadDword(image + 4));
    const int imageHeight = static_cast<int>(ReadDword(image + 8)) / 2;
    const int bits = ReadWord(image + 14);
    const uintptr_t handle = S().nextIcon++;
    S().loadedIcons[handle] = {groupId, imageWidth, imageHeight, bits >= 24 ? 0 : 1 << bits,
                               std::vector<unsigned char>(image, image + imageSize)};
    return reinterpret_cast<HANDLE>(handle);
}

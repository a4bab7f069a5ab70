// What the thunks of the emulated libraries share: the device's 32-bit values turned into
// the emulator's and back. Used by coredll.cpp and aygshell.cpp only.
#ifndef VELMOT_EMULATOR_RUNNER_THUNKS_H
#define VELMOT_EMULATOR_RUNNER_THUNKS_H

#include "emulator/device.h"
#include "emulator/runner/process.h"

#include <cstring>
#include <string>

namespace emu::runner::thunks {

template <typename Handle> Handle ToHost(uint32_t value) {
    return static_cast<Handle>(HandleToHost(value));
}

inline uint32_t ToGuest(const void* handle) {
    return HandleToGuest(handle);
}

inline uint32_t Bool(BOOL value) {
    return static_cast<uint32_t>(value);
}

// A result that the device returns in 32 bits.
inline uint32_t Result(LRESULT value) {
    if (value < INT32_MIN || value > INT32_MAX) {
        throw Failure("a result (" + std::to_string(value) + ") does not fit the device's 32 bits");
    }
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

// Little-endian fields of a guest record.
inline uint32_t Field32(const uint8_t* record, size_t offset) {
    uint32_t value;
    std::memcpy(&value, record + offset, sizeof(value));
    return value;
}
inline void SetField32(uint8_t* record, size_t offset, uint32_t value) {
    std::memcpy(record + offset, &value, sizeof(value));
}

// A text argument; kept in storage while the call runs.
inline LPCWSTR Text(Process& process, uint32_t address, std::wstring& storage, const char* what) {
    if (address == 0) {
        return nullptr;
    }
    storage = process.ReadText(address, what);
    return storage.c_str();
}

// A resource or class name: a number below 0x10000 (MAKEINTRESOURCE), else a text.
inline LPCWSTR Name(Process& process, uint32_t value, std::wstring& storage, const char* what) {
    if ((value >> 16) == 0) {
        return MAKEINTRESOURCEW(value);
    }
    return Text(process, value, storage, what);
}

} // namespace emu::runner::thunks

#endif

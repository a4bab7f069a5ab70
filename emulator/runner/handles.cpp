// The device's 32-bit values for the emulator's handles, and message parameters turned
// from one to the other.
#include "emulator/device.h"
#include "emulator/runner/process.h"

#include <algorithm>

namespace emu::runner {

namespace {
struct HandleTable {
    std::vector<const void*> hosts; // guest handle n is at index (n - First) / 4
    static constexpr uint32_t First = 0x00C00004;
};
HandleTable& Handles() {
    static HandleTable table;
    return table;
}
// Guest numbers that name no handle reach the emulator as host values that name none.
constexpr uintptr_t Unknown = static_cast<uintptr_t>(0xBAD0000000000000ull);
} // namespace

uint32_t HandleToGuest(const void* handle) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0) {
        return 0;
    }
    if ((value & ~static_cast<uintptr_t>(0xFFFFFFFFu)) == Unknown) {
        return static_cast<uint32_t>(value);
    }
    auto& hosts = Handles().hosts;
    auto found = std::find(hosts.begin(), hosts.end(), handle);
    if (found == hosts.end()) {
        hosts.push_back(handle);
        found = hosts.end() - 1;
    }
    return HandleTable::First + static_cast<uint32_t>(found - hosts.begin()) * 4;
}

void* HandleToHost(uint32_t handle) {
    if (handle == 0) {
        return nullptr;
    }
    const auto& hosts = Handles().hosts;
    const uint32_t index = (handle - HandleTable::First) / 4;
    if (handle >= HandleTable::First && (handle - HandleTable::First) % 4 == 0 &&
        index < hosts.size()) {
        return const_cast<void*>(hosts[index]);
    }
    return reinterpret_cast<void*>(Unknown | handle);
}

namespace {
// The messages whose parameter is a window handle.
bool CarriesHandle(UINT message, bool isWParam) {
    return (message == WM_COMMAND && !isWParam) || (message == WM_INITDIALOG && isWParam);
}
bool IsKnownHandle(uintptr_t value) {
    const auto& hosts = Handles().hosts;
    return value != 0 && std::find(hosts.begin(), hosts.end(),
                                   reinterpret_cast<const void*>(value)) != hosts.end();
}
} // namespace

uint32_t ParamToGuest(UINT message, bool isWParam, uintptr_t value) {
    // A window the guest has not seen yet (the focus control of a dialog being built) is
    // converted as well as one it has.
    if (CarriesHandle(message, isWParam) &&
        (IsKnownHandle(value) || IsWindow(reinterpret_cast<HWND>(value)))) {
        return HandleToGuest(reinterpret_cast<const void*>(value));
    }
    const bool fits = isWParam ? value <= 0xFFFFFFFFu
                               : static_cast<intptr_t>(value) >= INT32_MIN &&
                                     static_cast<intptr_t>(value) <= INT32_MAX;
    if (!fits) {
        throw Failure("message " + Hex32(message) + " carries a value (" + Hex32(value) +
                      ") that does not fit the device's 32 bits");
    }
    return static_cast<uint32_t>(value);
}

uintptr_t ParamToHost(UINT message, bool isWParam, uint32_t value) {
    if (CarriesHandle(message, isWParam)) {
        const void* host = HandleToHost(value);
        if (IsKnownHandle(reinterpret_cast<uintptr_t>(host))) {
            return reinterpret_cast<uintptr_t>(host);
        }
    }
    return isWParam ? static_cast<uintptr_t>(value)
                    : static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(value)));
}

} // namespace emu::runner

// A process of a Windows CE ARM executable: mapping, binding, guest calls and faults.
#include "emulator/runner/process.h"

#include "emulator/device.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace emu::runner {

namespace {

// Where the process's memory lies in its slot, beside the image at its base.
constexpr uint32_t StackTop = 0x00800000;
constexpr uint32_t CopiesBase = 0x00A00000;
constexpr uint32_t CopiesSize = 0x10000;
// The thunks: the return point of guest calls first, then one per import:
// "svc #index; mov pc, lr".
constexpr uint32_t ThunkBase = 0x01F00000;
constexpr uint32_t ReturnPoint = ThunkBase;
constexpr uint32_t FirstThunk = ThunkBase + 8;
constexpr uint32_t MovPcLr = 0xE1A0F00E;
constexpr uint32_t Svc = 0xEF000000;
constexpr uint32_t PageSize = 0x1000;
constexpr uint32_t DefaultStack = 0x10000;
// Blocks of guest code run without a call into the platform before it counts as a
// runaway loop (the program's longest stretch takes a few hundred).
constexpr uint64_t BlockLimit = 2000000;

uint32_t PageRound(uint64_t size) {
    return static_cast<uint32_t>((size + PageSize - 1) & ~static_cast<uint64_t>(PageSize - 1));
}

// The status register first: writing it may change the mode, whose banked stack pointer
// the rest then sets.
constexpr std::array<int, 17> SavedRegisters = {
    UC_ARM_REG_CPSR, UC_ARM_REG_R0,  UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3, UC_ARM_REG_R4,
    UC_ARM_REG_R5,   UC_ARM_REG_R6,  UC_ARM_REG_R7, UC_ARM_REG_R8, UC_ARM_REG_R9, UC_ARM_REG_R10,
    UC_ARM_REG_R11,  UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC};

struct Registers {
    std::array<uint32_t, SavedRegisters.size()> values{};
    void Save(uc_engine* uc) {
        auto where = Where();
        uc_reg_read_batch(uc, const_cast<int*>(SavedRegisters.data()), where.data(),
                          static_cast<int>(where.size()));
    }
    void Restore(uc_engine* uc) {
        auto where = Where();
        uc_reg_write_batch(uc, const_cast<int*>(SavedRegisters.data()), where.data(),
                           static_cast<int>(where.size()));
    }
    std::array<void*, SavedRegisters.size()> Where() {
        std::array<void*, SavedRegisters.size()> where{};
        for (size_t i = 0; i < where.size(); ++i) {
            where[i] = &values[i];
        }
        return where;
    }
    uint32_t Sp() const {
        return values[14];
    }
};

uint32_t Register(uc_engine* uc, int id) {
    uint32_t value = 0;
    uc_reg_read(uc, id, &value);
    return value;
}

void SetRegister(uc_engine* uc, int id, uint32_t value) {
    uc_reg_write(uc, id, &value);
}

// Library names as the loader compares them: without case, ".dll" added when missing.
std::string LibraryKey(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return name.find('.') == std::string::npos ? name + ".dll" : name;
}

const Library* FindLibrary(const std::string& name) {
    for (const Library* library : {&CoreDll, &AygShell}) {
        if (LibraryKey(library->name) == LibraryKey(name)) {
            return library;
        }
    }
    return nullptr;
}

// A name is looked for at its hint first, then among all exports; names compare exactly.
const Export* FindExport(const Library& library, const Import& import) {
    if (import.ordinal >= 0) {
        return nullptr; // the emulated libraries export by name only
    }
    if (import.hint < library.count && import.name == library.exports[import.hint].name) {
        return &library.exports[import.hint];
    }
    for (size_t i = 0; i < library.count; ++i) {
        if (import.name == library.exports[i].name) {
            return &library.exports[i];
        }
    }
    return nullptr;
}

// Host callbacks that stand for guest procedures, a few of each kind.
constexpr int SlotCount = 16;
struct Slot {
    Process* process = nullptr;
    uint32_t address = 0;
};
std::array<Slot, SlotCount> windowSlots;
std::array<Slot, SlotCount> dialogSlots;

Slot& Bound(std::array<Slot, SlotCount>& slots, int index, const char* kind) {
    Slot& slot = slots[static_cast<size_t>(index)];
    if (slot.process == nullptr) {
        throw Failure(std::string("the ") + kind + " of a process that has ended was called");
    }
    return slot;
}

// A message to a guest procedure. The create message's record reaches the guest as a copy
// in the device's layout (48 bytes), with copies of the texts it points to.
uint32_t CallProcedure(const Slot& slot, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Process& process = *slot.process;
    if (message == WM_CREATE && lParam != 0) {
        const auto& create = *reinterpret_cast<const CREATESTRUCTW*>(lParam);
        const std::wstring name = create.lpszName != nullptr ? create.lpszName : L"";
        const std::wstring className = create.lpszClass != nullptr ? create.lpszClass : L"";
        Process::Copy record(process, 48);
        Process::Copy nameCopy(process, static_cast<uint32_t>(2 * (name.size() + 1)));
        Process::Copy classCopy(process, static_cast<uint32_t>(2 * (className.size() + 1)));
        const uint32_t fields[12] = {
            ParamToGuest(message, true, reinterpret_cast<uintptr_t>(create.lpCreateParams)),
            HandleToGuest(create.hInstance),
            HandleToGuest(create.hMenu),
            HandleToGuest(create.hwndParent),
            static_cast<uint32_t>(create.cy),
            static_cast<uint32_t>(create.cx),
            static_cast<uint32_t>(create.y),
            static_cast<uint32_t>(create.x),
            static_cast<uint32_t>(create.style),
            create.lpszName != nullptr ? process.CopyText(nameCopy, name) : 0,
            create.lpszClass != nullptr ? process.CopyText(classCopy, className) : 0,
            create.dwExStyle};
        std::memcpy(record.host, fields, sizeof(fields));
        return process.CallGuest(
            slot.address,
            {HandleToGuest(window), message, ParamToGuest(message, true, wParam), record.address});
    }
    return process.CallGuest(slot.address,
                             {HandleToGuest(window), message, ParamToGuest(message, true, wParam),
                              ParamToGuest(message, false, static_cast<uintptr_t>(lParam))});
}

template <int N>
LRESULT CALLBACK WindowSlot(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Slot& slot = Bound(windowSlots, N, "window procedure");
    return static_cast<int32_t>(CallProcedure(slot, window, message, wParam, lParam));
}

template <int N> BOOL CALLBACK DialogSlot(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const Slot& slot = Bound(dialogSlots, N, "dialog procedure");
    return static_cast<BOOL>(CallProcedure(slot, dialog, message, wParam, lParam));
}

template <size_t... I>
constexpr std::array<WNDPROC, SlotCount> WindowSlots(std::index_sequence<I...>) {
    return {&WindowSlot<static_cast<int>(I)>...};
}
template <size_t... I>
constexpr std::array<DLGPROC, SlotCount> DialogSlots(std::index_sequence<I...>) {
    return {&DialogSlot<static_cast<int>(I)>...};
}
const auto windowProcs = WindowSlots(std::make_index_sequence<SlotCount>());
const auto dialogProcs = DialogSlots(std::make_index_sequence<SlotCount>());

int TakeSlot(std::array<Slot, SlotCount>& slots, Process* process, uint32_t address,
             const char* kind) {
    for (int i = 0; i < SlotCount; ++i) {
        if (slots[i].process == process && slots[i].address == address) {
            return i;
        }
    }
    for (int i = 0; i < SlotCount; ++i) {
        if (slots[i].process == nullptr) {
            slots[i] = {process, address};
            return i;
        }
    }
    throw Failure(std::string("more than ") + std::to_string(SlotCount) + " " + kind +
                  "s at once are not emulated");
}

} // namespace

std::string Hex32(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

// ---- The process -------------------------------------------------------------------------

uint32_t Call::Arg(int index) const {
    static constexpr int Registers[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
    if (index < 4) {
        return Register(process.uc_, Registers[index]);
    }
    const uint32_t sp = Register(process.uc_, UC_ARM_REG_SP);
    return process.Read32(sp + 4 * static_cast<uint32_t>(index - 4), "a call's argument");
}

struct Hooks {
    static void Interrupt(uc_engine* uc, uint32_t number, void* data) {
        Process& process = *static_cast<Process*>(data);
        try {
            const uint32_t at = Register(uc, UC_ARM_REG_PC) - 4;
            const uint32_t index = (at - FirstThunk) / 8;
            if (number != 2 || at < FirstThunk || (at - FirstThunk) % 8 != 0 ||
                index >= process.thunks_.size()) {
                throw Failure("software interrupt " + std::to_string(number) + " at " + Hex32(at) +
                              ", outside the platform's entries" + process.Where());
            }
            process.lastImport = process.thunkNames_[index];
            process.blocks_ = 0;
            Call call(process);
            const uint32_t result = process.thunks_[index](call);
            SetRegister(uc, UC_ARM_REG_R0, result);
            process.blocks_ = 0;
        } catch (...) {
            process.pending_ = std::current_exception();
            uc_emu_stop(uc);
        }
    }
    static bool Invalid(uc_engine*, uc_mem_type, uint64_t address, int, int64_t, void* data) {
        static_cast<Process*>(data)->faultAddress_ = address;
        return false;
    }
    static void Block(uc_engine* uc, uint64_t address, uint32_t, void* data) {
        Process& process = *static_cast<Process*>(data);
        if (++process.blocks_ > BlockLimit && !process.pending_) {
            process.pending_ =
                std::make_exception_ptr(Failure("runaway loop: " + std::to_string(BlockLimit) +
                                                " blocks of code without a platform call, now at " +
                                                Hex32(address) + process.Where()));
            uc_emu_stop(uc);
        }
    }
};

Process::Process(const Image& image) : image_(image) {
    if (uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_) != UC_ERR_OK) {
        throw Failure("Unicorn cannot make an ARM processor");
    }
    // The first Pocket PCs' processor, chosen before any memory is mapped.
    if (uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_SA1110) != UC_ERR_OK) {
        uc_close(uc_);
        throw Failure("Unicorn cannot emulate the StrongARM SA-1110");
    }
    try {
        memory_ = MapImage(image_);
        memory_.resize(PageRound(memory_.size()), 0);
        if (static_cast<uint64_t>(image_.imageBase) + memory_.size() > CopiesBase ||
            image_.imageBase % PageSize != 0 || image_.imageBase == 0) {
            throw Failure("the image base " + Hex32(image_.imageBase) +
                          " does not fit the process's slot");
        }
        Map(image_.imageBase, memory_, UC_PROT_READ);
        // Each section as its characteristics say: writable, executable, or only readable.
        // A discardable one is freed after loading, unless it holds the resources.
        for (const Section& section : image_.sections) {
            uint32_t protection = UC_PROT_READ;
            protection |= (section.characteristics & 0x80000000u) ? UC_PROT_WRITE : 0;
            protection |= (section.characteristics & 0x20000000u) ? UC_PROT_EXEC : 0;
            const bool holdsResources =
                image_.resourceTable >= section.virtualAddress &&
                image_.resourceTable < section.virtualAddress + section.virtualSize;
            if ((section.characteristics & 0x02000000u) && !holdsResources) {
                protection = UC_PROT_NONE;
            }
            const uint32_t size = PageRound(section.virtualSize);
            if (size != 0) {
                uc_mem_protect(uc_, image_.imageBase + section.virtualAddress, size, protection);
            }
        }
        // The header's stack reserve counts from subsystem version 2.02 on; before, the
        // system's own 64 KiB.
        const bool ownStack =
            image_.subsystemMajor > 2 || (image_.subsystemMajor == 2 && image_.subsystemMinor >= 2);
        const uint32_t stackSize = ownStack ? image_.stackReserve : DefaultStack;
        stack_.assign(PageRound(std::max<uint32_t>(stackSize, PageSize)), 0);
        Map(StackTop - static_cast<uint32_t>(stack_.size()), stack_, UC_PROT_READ | UC_PROT_WRITE);
        copies_.assign(CopiesSize, 0);
        Map(CopiesBase, copies_, UC_PROT_READ | UC_PROT_WRITE);
        copiesTop_ = CopiesBase;
        Bind();

        uc_hook hook;
        uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&Hooks::Interrupt), this, 1,
                    0);
        hooks_.push_back(hook);
        uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&Hooks::Invalid), this,
                    1, 0);
        hooks_.push_back(hook);
        uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&Hooks::Block), this, 1, 0);
        hooks_.push_back(hook);
    } catch (...) {
        uc_close(uc_);
        throw;
    }
}

Process::~Process() {
    for (auto* slots : {&windowSlots, &dialogSlots}) {
        for (Slot& slot : *slots) {
            if (slot.process == this) {
                slot = Slot{};
            }
        }
    }
    uc_close(uc_);
}

void Process::Map(uint32_t address, std::vector<uint8_t>& memory, uint32_t protection) {
    if (uc_mem_map_ptr(uc_, address, memory.size(), protection, memory.data()) != UC_ERR_OK) {
        throw Failure("cannot map " + std::to_string(memory.size()) + " bytes at " +
                      Hex32(address));
    }
    regions_.push_back({address, &memory});
}

// Each import found among the emulated libraries' exports, or the load is refused naming
// it (the device's loader would leave it 0, to fault at its first call).
void Process::Bind() {
    const std::vector<Import> imports = ReadImports(image_, memory_);
    std::vector<std::string> missing;
    for (const Import& import : imports) {
        const Library* library = FindLibrary(import.library);
        const Export* found = library != nullptr ? FindExport(*library, import) : nullptr;
        const std::string name =
            import.ordinal >= 0 ? "ordinal " + std::to_string(import.ordinal) : import.name;
        if (found == nullptr) {
            missing.push_back(import.library + "!" + name);
            continue;
        }
        const uint32_t entry = FirstThunk + 8 * static_cast<uint32_t>(thunks_.size());
        thunks_.push_back(found->thunk);
        thunkNames_.push_back(import.library + "!" + name);
        std::memcpy(&memory_[import.slot], &entry, sizeof(entry));
    }
    if (!missing.empty()) {
        std::string list;
        for (const std::string& name : missing) {
            list += (list.empty() ? "" : ", ") + name;
        }
        throw Failure("the device cannot start the program: the emulator provides no " + list);
    }
    thunkCode_.assign(PageRound(FirstThunk - ThunkBase + 8 * thunks_.size()), 0);
    auto put = [this](uint32_t address, uint32_t instruction) {
        std::memcpy(&thunkCode_[address - ThunkBase], &instruction, sizeof(instruction));
    };
    put(ReturnPoint, MovPcLr);
    for (uint32_t i = 0; i < thunks_.size(); ++i) {
        put(FirstThunk + 8 * i, Svc | i);
        put(FirstThunk + 8 * i + 4, MovPcLr);
    }
    Map(ThunkBase, thunkCode_, UC_PROT_READ | UC_PROT_EXEC);
}

std::string Process::Where() const {
    return ", after the last platform call (" + lastImport + ")";
}

uint32_t Process::CallGuest(uint32_t address, const std::vector<uint32_t>& args) {
    Registers caller;
    uint32_t sp = StackTop;
    if (depth_ > 0) {
        caller.Save(uc_);
        sp = caller.Sp();
    }
    // Arguments past the fourth go on the stack, which stays 8-byte aligned.
    const uint32_t stacked = args.size() > 4 ? static_cast<uint32_t>(args.size() - 4) : 0;
    sp = (sp - 4 * stacked) & ~7u;
    for (uint32_t i = 0; i < stacked; ++i) {
        Write32(sp + 4 * i, args[4 + i], "a call's argument");
    }
    // ARM state, user mode, as the device's threads run; then the mode's stack pointer.
    SetRegister(uc_, UC_ARM_REG_CPSR, 0x10);
    static constexpr int ArgRegisters[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,
                                           UC_ARM_REG_R3};
    for (size_t i = 0; i < 4; ++i) {
        SetRegister(uc_, ArgRegisters[i], i < args.size() ? args[i] : 0);
    }
    SetRegister(uc_, UC_ARM_REG_SP, sp);
    SetRegister(uc_, UC_ARM_REG_LR, ReturnPoint);
    ++depth_;
    blocks_ = 0;
    const uc_err error = uc_emu_start(uc_, address, ReturnPoint, 0, 0);
    --depth_;
    if (pending_) {
        std::exception_ptr pending = pending_;
        pending_ = nullptr;
        std::rethrow_exception(pending);
    }
    if (error != UC_ERR_OK) {
        Fault(error);
    }
    const uint32_t result = Register(uc_, UC_ARM_REG_R0);
    if (depth_ > 0) {
        caller.Restore(uc_);
    }
    blocks_ = 0;
    return result;
}

void Process::Fault(int code) {
    const uc_err error = static_cast<uc_err>(code);
    const uint32_t pc = Register(uc_, UC_ARM_REG_PC);
    std::string what = std::string(uc_strerror(error)) + " at " + Hex32(pc);
    const bool unmapped = error == UC_ERR_READ_UNMAPPED || error == UC_ERR_WRITE_UNMAPPED ||
                          error == UC_ERR_FETCH_UNMAPPED;
    const bool fetch = error == UC_ERR_FETCH_UNMAPPED || error == UC_ERR_FETCH_PROT;
    const bool write = error == UC_ERR_WRITE_UNMAPPED || error == UC_ERR_WRITE_PROT;
    if (error == UC_ERR_INSN_INVALID) {
        uint32_t instruction = 0;
        uc_mem_read(uc_, pc, &instruction, sizeof(instruction));
        what = "undefined instruction " + Hex32(instruction) + " at " + Hex32(pc);
    } else if (unmapped || error == UC_ERR_READ_PROT || error == UC_ERR_WRITE_PROT ||
               error == UC_ERR_FETCH_PROT) {
        what = std::string(fetch   ? "jump to "
                           : write ? "write to "
                                   : "read of ") +
               (unmapped ? "unmapped" : "protected") + " memory at " + Hex32(faultAddress_) +
               " (pc " + Hex32(pc) + ")";
        const uint32_t stackBottom = StackTop - static_cast<uint32_t>(stack_.size());
        if (unmapped && !fetch && faultAddress_ < stackBottom &&
            faultAddress_ + 0x10000 >= stackBottom) {
            what = "stack overflow: " + what + ", below the " +
                   std::to_string(stack_.size() / 1024) + " KiB stack";
        }
        // A call through an import entry that the loader did not bind jumps to the value
        // the file left there (an ARMv4 load into pc drops its two low bits: a hint/name
        // reference is only 2-aligned).
        const uint32_t end = std::min<uint32_t>(image_.addressTable + image_.addressTableSize,
                                                static_cast<uint32_t>(memory_.size()));
        for (uint32_t at = image_.addressTable; unmapped && fetch && at + 4 <= end; at += 4) {
            uint32_t value = 0;
            std::memcpy(&value, &memory_[at], sizeof(value));
            if ((value & ~3u) == faultAddress_) {
                what = "call through the unbound import entry at " + Hex32(image_.imageBase + at) +
                       ", which holds " + Hex32(value);
                break;
            }
        }
    }
    throw Failure("the program faulted: " + what + Where());
}

uint8_t* Process::Host(uint32_t address, uint32_t size, const char* what) {
    for (const Region& region : regions_) {
        if (address >= region.address &&
            static_cast<uint64_t>(address) + size <= region.address + region.memory->size()) {
            return region.memory->data() + (address - region.address);
        }
    }
    throw Failure(std::string(what) + " at " + Hex32(address) + " (" + std::to_string(size) +
                  " bytes) is not in the program's memory" + Where());
}

uint32_t Process::Guest(const void* host, const char* what) {
    const auto* at = static_cast<const uint8_t*>(host);
    for (const Region& region : regions_) {
        const uint8_t* begin = region.memory->data();
        if (at >= begin && at < begin + region.memory->size()) {
            return region.address + static_cast<uint32_t>(at - begin);
        }
    }
    throw Failure(std::string(what) + " is not in the program's memory" + Where());
}

uint32_t Process::Read32(uint32_t address, const char* what) {
    uint32_t value;
    std::memcpy(&value, Host(address, 4, what), sizeof(value));
    return value;
}

void Process::Write32(uint32_t address, uint32_t value, const char* what) {
    std::memcpy(Host(address, 4, what), &value, sizeof(value));
}

std::wstring Process::ReadText(uint32_t address, const char* what) {
    std::wstring text;
    if (address == 0) {
        return text;
    }
    for (uint32_t at = address;; at += 2) {
        uint16_t unit;
        std::memcpy(&unit, Host(at, 2, what), sizeof(unit));
        if (unit == 0) {
            return text;
        }
        text += static_cast<wchar_t>(unit);
    }
}

Process::Copy::Copy(Process& process, uint32_t size)
    : process_(process), previousTop_(process.copiesTop_) {
    const uint32_t rounded = (size + 7) & ~7u;
    if (process.copiesTop_ + rounded > CopiesBase + CopiesSize) {
        throw Failure("no room for a copy of " + std::to_string(size) + " bytes");
    }
    address = process.copiesTop_;
    process.copiesTop_ += rounded;
    host = process.Host(address, size, "a copy");
    std::memset(host, 0, size);
}

Process::Copy::~Copy() {
    process_.copiesTop_ = previousTop_;
}

uint32_t Process::CopyText(Copy& copy, const std::wstring& text) {
    for (size_t i = 0; i <= text.size(); ++i) {
        const uint16_t unit = i < text.size() ? static_cast<uint16_t>(text[i]) : 0;
        std::memcpy(copy.host + 2 * i, &unit, sizeof(unit));
    }
    return copy.address;
}

WNDPROC Process::WindowProcedure(uint32_t address) {
    return address == 0 ? nullptr
                        : windowProcs[static_cast<size_t>(
                              TakeSlot(windowSlots, this, address, "window procedure"))];
}

DLGPROC Process::DialogProcedure(uint32_t address) {
    return address == 0 ? nullptr
                        : dialogProcs[static_cast<size_t>(
                              TakeSlot(dialogSlots, this, address, "dialog procedure"))];
}

} // namespace emu::runner

// A process of a Windows CE ARM executable on the emulated device: its image mapped as the
// device's loader maps it, its imports bound to the emulated platform, and its ARM code run
// by Unicorn on the processor of the first Pocket PCs (StrongARM SA-1110, ARMv4, no Thumb).
//
// The process knows nothing of the program it runs. Its imports reach the emulator through
// thunks (coredll.cpp, aygshell.cpp), which convert the device's 32-bit values to the
// emulator's and back. Guest code that the platform calls back (window and dialog
// procedures) runs as a nested guest call on the same guest stack, as on the device.
//
// Faults end the run with emu::Failure naming the guest address, the last import called
// and what happened: an access to unmapped or protected memory, an undefined instruction, a
// call through an unbound import entry, a stack overflow, or a runaway loop (too many
// blocks of code without a call into the platform).
#ifndef VELMOT_EMULATOR_RUNNER_PROCESS_H
#define VELMOT_EMULATOR_RUNNER_PROCESS_H

#include "platform/platform_api.h"
#include "emulator/runner/image.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

struct uc_struct;

namespace emu::runner {

class Process;

// A call from guest code into the platform: its arguments as the ARM convention passes them.
class Call {
  public:
    explicit Call(Process& caller) : process(caller) {}
    uint32_t Arg(int index) const; // r0-r3, then the stack
    Process& process;
};

using Thunk = uint32_t (*)(Call&);
struct Export {
    const char* name;
    Thunk thunk;
};
// A library of the emulated platform as guest code sees it: its exports, by name.
struct Library {
    const char* name; // without ".dll"
    const Export* exports;
    size_t count;
};
extern const Library CoreDll;  // coredll.cpp
extern const Library AygShell; // aygshell.cpp

// "0x0001C070": a guest address or value in a failure's text.
std::string Hex32(uint64_t value);

// Handles are the emulator's; the guest sees 32-bit numbers for them, one for each, the
// same in every process (windows, menus and icons are the system's).
uint32_t HandleToGuest(const void* handle);
void* HandleToHost(uint32_t handle);
// A message parameter: the handle it carries for the messages that carry one, else the
// value itself, which must fit the device's 32 bits.
uint32_t ParamToGuest(UINT message, bool isWParam, uintptr_t value);
uintptr_t ParamToHost(UINT message, bool isWParam, uint32_t value);

class Process {
  public:
    // Maps the image and binds its imports; throws Failure when the loader would refuse it.
    explicit Process(const Image& image);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    const Image& image() const {
        return image_;
    }
    uint32_t ImageBase() const {
        return image_.imageBase;
    }
    // The image as mapped (sizeOfImage bytes, rounded up to whole pages, from the base).
    const std::vector<uint8_t>& memory() const {
        return memory_;
    }

    // Runs guest code at address with these arguments and answers r0. Nested calls (from
    // a platform call that calls back) run below the caller's stack and leave its registers
    // as they were.
    uint32_t CallGuest(uint32_t address, const std::vector<uint32_t>& args);

    // Guest memory: a host pointer to size bytes at a guest address (Failure when they are
    // not all in the process's memory), and back.
    uint8_t* Host(uint32_t address, uint32_t size, const char* what);
    uint32_t Guest(const void* host, const char* what);
    uint32_t Read32(uint32_t address, const char* what);
    void Write32(uint32_t address, uint32_t value, const char* what);
    // A zero-terminated UTF-16 text at a guest address (null stays empty).
    std::wstring ReadText(uint32_t address, const char* what);

    // Room for copies of what the platform hands to the guest (a command line, a message's
    // record). Released, last first, by the Copy that took it.
    class Copy {
      public:
        Copy(Process& process, uint32_t size);
        ~Copy();
        Copy(const Copy&) = delete;
        Copy& operator=(const Copy&) = delete;
        uint32_t address;
        uint8_t* host;

      private:
        Process& process_;
        uint32_t previousTop_;
    };
    uint32_t CopyText(Copy& copy, const std::wstring& text); // fills a Copy of the right size

    // The guest procedure that a host callback stands for (window or dialog procedures).
    WNDPROC WindowProcedure(uint32_t address);
    DLGPROC DialogProcedure(uint32_t address);

    std::string lastImport = "none";

  private:
    friend struct Hooks;
    friend class Call;
    void Map(uint32_t address, std::vector<uint8_t>& memory, uint32_t protection);
    void Bind();
    [[noreturn]] void Fault(int error);
    std::string Where() const;

    Image image_;
    uc_struct* uc_ = nullptr;
    struct Region {
        uint32_t address;
        std::vector<uint8_t>* memory;
    };
    std::vector<uint8_t> memory_;
    std::vector<uint8_t> stack_;
    std::vector<uint8_t> copies_;
    std::vector<uint8_t> thunkCode_;
    std::vector<Region> regions_;
    std::vector<Thunk> thunks_;
    std::vector<std::string> thunkNames_;
    uint32_t copiesTop_ = 0;
    int depth_ = 0;
    uint64_t blocks_ = 0;
    std::exception_ptr pending_;
    std::string faultNote_;
    uint64_t faultAddress_ = 0;
    std::vector<size_t> hooks_;
};

} // namespace emu::runner

#endif

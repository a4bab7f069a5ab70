// The emulated core library's processes as far as the program sees them: each start of a
// program runs as a process of its own, whose named mutexes and window classes go when it
// ends, and the last error of its thread.
#include "emulator/internal.h"

#include <algorithm>

namespace emu::detail {

static void CloseHandlesOf(int process) {
    auto& handles = S().handles;
    for (auto it = handles.begin(); it != handles.end();) {
        it = it->second.process == process ? handles.erase(it) : std::next(it);
    }
    // The classes a program registered are unregistered when it ends.
    auto& owners = S().classOwners;
    for (auto it = owners.begin(); it != owners.end();) {
        if (it->second == process) {
            S().classes.erase(it->first);
            it = owners.erase(it);
        } else {
            ++it;
        }
    }
}

int RunProcess(EntryPoint entry, const std::wstring& commandLine) {
    State& state = S();
    const int process = state.nextProcess++;
    state.processes.push_back(process);
    // The process's handles close, and its classes go, when its entry point returns or
    // fails.
    struct End {
        int process;
        ~End() {
            CloseHandlesOf(process);
            S().processes.pop_back();
        }
    } end{process};
    std::vector<WCHAR> text(commandLine.begin(), commandLine.end());
    text.push_back(0);
    return entry(ProgramInstance(), nullptr, text.data(), 5);
}

void Preempt(const char* call) {
    auto& waiting = S().preemptions;
    auto found = std::find_if(waiting.begin(), waiting.end(),
                              [call](const Preemption& p) { return p.call == call; });
    if (found == waiting.end()) {
        return;
    }
    Preemption due = std::move(*found);
    waiting.erase(found);
    Note(due.description);
    due.action();
}

} // namespace emu::detail

using namespace emu;
using namespace emu::detail;

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name) {
    Preempt("CreateMutexW");
    if (attributes != nullptr || initialOwner || name == nullptr || S().processes.empty()) {
        throw Failure("CreateMutexW: only named mutexes without an owner are emulated");
    }
    // Names of kernel objects are case-sensitive.
    const bool exists =
        std::any_of(S().handles.begin(), S().handles.end(),
                    [name](const auto& handle) { return handle.second.name == name; });
    const uintptr_t handle = S().nextHandle;
    S().nextHandle += 4;
    S().handles[handle] = {S().processes.back(), name};
    S().lastError = exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    Note(std::string("mutex \"") + Narrow(name) +
         (exists ? "\" opened (it exists)" : "\" created"));
    return reinterpret_cast<HANDLE>(handle);
}

DWORD WINAPI GetLastError(void) {
    return S().lastError;
}

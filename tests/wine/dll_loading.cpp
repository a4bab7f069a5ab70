// The Wine tests of where velmot.exe takes its DLLs from (desktop/dll_search.cpp,
// desktop/sleep.cpp): it imports only the system's KnownDLLs, and a powrprof.dll planted
// beside it, where an attacker would leave one, is never loaded: not when velmot.exe loads the
// power library (by its full path in the system folder), not when a DLL in its process loads
// powrprof.dll by its bare name after start-up (the search restricted to the system folder),
// and not on a system whose kernel32 lacks SetDefaultDllDirectories (Windows 7 without update
// KB2533623), which the driver makes of Wine by hiding that function from velmot.exe before it
// runs.
#include "tests/wine/driver.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

namespace wine_test {

namespace {

// The names of the DLLs that an executable file imports from, read from its import directory;
// none when the file cannot be read as a 64-bit executable.
std::vector<std::string> ImportedDlls(const std::vector<char>& file) {
    std::vector<std::string> names;
    auto at = [&](size_t offset, size_t size) -> const char* {
        return offset + size <= file.size() ? file.data() + offset : NULL;
    };
    const IMAGE_DOS_HEADER* dos =
        reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
    if (dos == NULL || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return names;
    }
    const IMAGE_NT_HEADERS64* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS64)));
    if (nt == NULL || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        return names;
    }
    const IMAGE_SECTION_HEADER* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        at(dos->e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
               nt->FileHeader.SizeOfOptionalHeader,
           nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER)));
    if (sections == NULL) {
        return names;
    }
    // The file offset of a relative virtual address.
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& section = sections[i];
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.SizeOfRawData) {
                return rva - section.VirtualAddress + section.PointerToRawData;
            }
        }
        return file.size();
    };
    const DWORD imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (size_t offset = offsetOf(imports);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const IMAGE_IMPORT_DESCRIPTOR* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
            at(offset, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        if (entry == NULL || entry->Name == 0) {
            break;
        }
        const size_t name = offsetOf(entry->Name);
        if (at(name, 1) == NULL) {
            break;
        }
        names.push_back(
            std::string(file.data() + name, strnlen(file.data() + name, file.size() - name)));
    }
    return names;
}

// A powrprof.dll planted beside velmot.exe, where the DLL override powrprof=native,builtin
// would let Wine take it (as it does for a program that imports powrprof), is not loaded:
// the sleep goes through the system folder's powrprof.dll, whose stand-in logs it.
void PlantedDllIgnored() {
    Case c("a powrprof.dll planted beside velmot.exe is not loaded; /W 0:0 sleeps through the "
           "system folder's powrprof.dll");
    // What earlier cases left in the log stays for the check after every case.
    const std::string before = ReadText(plantedLogPath);
    Process process;
    if (c.Check(GetFileAttributesW((programDir + L"powrprof.dll").c_str()) !=
                    INVALID_FILE_ATTRIBUTES,
                "no planted powrprof.dll beside velmot.exe") &&
        Started(c, L"/W 0:0", process)) {
        CheckEnd(c, process, 1);
        const std::string planted = ReadText(plantedLogPath).substr(before.size());
        c.Check(planted.empty(),
                "the planted powrprof.dll was loaded: \"" + OneLine(planted) + "\"");
    }
    Report(c);
}

// ---- Loads by bare name ----------------------------------------------------------------

// For the rest of a case, the stand-in shell32 loads this DLL by its bare name at its first
// call in velmot.exe's process, after the program's start-up, and logs where it came from.
struct LoadByNameScope {
    explicit LoadByNameScope(const wchar_t* dll) {
        SetEnvironmentVariableW(L"VELMOT_LOAD_BY_NAME", dll);
    }
    ~LoadByNameScope() {
        SetEnvironmentVariableW(L"VELMOT_LOAD_BY_NAME", NULL);
    }
};

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {0};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

// A load of powrprof.dll by its bare name in velmot.exe's process after start-up, as a system
// DLL makes one of a library it needs, searches the system folder alone: it takes the system
// folder's powrprof.dll, not the planted one, which the loader would find first in the
// program's folder had velmot.exe not restricted the search.
void BareNameLoadTakesTheSystemFolders() {
    Case c("after start-up, powrprof.dll loaded by its bare name in velmot.exe's process is the "
           "system folder's, not the one planted beside velmot.exe");
    const std::string before = ReadText(plantedLogPath);
    DeleteFileW(loadLogPath.c_str());
    Process process;
    bool started = false;
    {
        const LoadByNameScope scope(L"powrprof.dll");
        started = Started(c, L"/W 0:0", process);
    }
    if (started) {
        CheckEnd(c, process, 1);
        // The folder's name as the system spells it, its case aside.
        const std::string expected =
            Lower("LoadLibraryW powrprof.dll: " + Narrow(SystemFolder()) +
                  "\\powrprof.dll process=" + std::to_string(process.id) + "\n");
        const std::string log = Lower(ReadText(loadLogPath));
        c.Check(log == expected, "the load by bare name logged \"" + OneLine(log) + "\", not \"" +
                                     OneLine(expected) + "\"");
        const std::string planted = ReadText(plantedLogPath).substr(before.size());
        c.Check(planted.empty(),
                "the planted powrprof.dll was loaded: \"" + OneLine(planted) + "\"");
    }
    Report(c);
}

// ---- A system without SetDefaultDllDirectories --------------------------------------------

bool ReadMemory(HANDLE process, ULONG_PTR address, void* into, SIZE_T size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), into, size, &read) &&
           read == size;
}

// A name (of at most 63 characters) in another process's memory.
std::string ReadName(HANDLE process, ULONG_PTR address) {
    char name[64] = {0};
    SIZE_T read = 0;
    ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), name, sizeof(name) - 1, &read);
    return std::string(name, strnlen(name, sizeof(name) - 1));
}

const char kHidden[] = "SetDefaultDllDirectories";
// The name it gets instead: its last letter changed, so that the export names stay in the
// order in which GetProcAddress searches them.
const char kInstead[] = "SetDefaultDllDirectorieX";

// In the module mapped at base in process: answers 0 when it is not kernel32.dll, 1 once its
// export kHidden is renamed kInstead (checked by reading it back), -1 with the reason in
// failure when that cannot be done.
int HideInKernel32(HANDLE process, ULONG_PTR base, std::string& failure) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS64 nt;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!ReadMemory(process, base, &dos, sizeof(dos)) ||
        !ReadMemory(process, base + dos.e_lfanew, &nt, sizeof(nt)) ||
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress == 0 ||
        !ReadMemory(
            process,
            base + nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress,
            &exports, sizeof(exports)) ||
        Lower(ReadName(process, base + exports.Name)) != "kernel32.dll") {
        return 0;
    }
    std::vector<DWORD> names(exports.NumberOfNames);
    if (names.empty() || !ReadMemory(process, base + exports.AddressOfNames, names.data(),
                                     names.size() * sizeof(DWORD))) {
        failure = "cannot read kernel32.dll's export names in velmot.exe";
        return -1;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        const ULONG_PTR at = base + names[i];
        if (ReadName(process, at) != kHidden) {
            continue;
        }
        if ((i > 0 && ReadName(process, base + names[i - 1]) >= kInstead) ||
            (i + 1 < names.size() && ReadName(process, base + names[i + 1]) <= kInstead)) {
            failure =
                std::string("renamed ") + kInstead + ", kernel32's exports would be out of order";
            return -1;
        }
        DWORD protection = 0;
        SIZE_T written = 0;
        const SIZE_T last = sizeof(kHidden) - 2;
        if (!VirtualProtectEx(process, reinterpret_cast<LPVOID>(at), sizeof(kHidden),
                              PAGE_READWRITE, &protection)) {
            failure = Failed("VirtualProtectEx", GetLastError());
            return -1;
        }
        const BOOL wrote = WriteProcessMemory(process, reinterpret_cast<LPVOID>(at + last),
                                              kInstead + last, 1, &written);
        const DWORD error = GetLastError();
        VirtualProtectEx(process, reinterpret_cast<LPVOID>(at), sizeof(kHidden), protection,
                         &protection);
        if (!wrote) {
            failure = Failed("WriteProcessMemory", error);
            return -1;
        }
        if (ReadName(process, at) != kInstead) {
            failure = "kernel32's export is still named " + ReadName(process, at);
            return -1;
        }
        return 1;
    }
    failure = std::string("Wine's kernel32.dll exports no ") + kHidden;
    return -1;
}

} // namespace

bool HideSetDefaultDllDirectories(const PROCESS_INFORMATION& info, std::string& failure) {
    // The loader maps kernel32.dll, and reports it, before the program's first instruction.
    for (int hidden = 0; hidden == 0;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, kTimeout)) {
            failure = Failed("WaitForDebugEvent", GetLastError());
            return false;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile != NULL) {
                CloseHandle(event.u.CreateProcessInfo.hFile);
            }
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile != NULL) {
                CloseHandle(event.u.LoadDll.hFile);
            }
            hidden = HideInKernel32(
                info.hProcess, reinterpret_cast<ULONG_PTR>(event.u.LoadDll.lpBaseOfDll), failure);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint for its debugger; any other exception is the program's.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            failure = "velmot.exe ended before kernel32.dll was mapped";
            hidden = -1;
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (hidden < 0) {
            return false;
        }
    }
    DebugSetProcessKillOnExit(FALSE);
    if (!DebugActiveProcessStop(info.dwProcessId)) {
        failure = Failed("DebugActiveProcessStop", GetLastError());
        return false;
    }
    return true;
}

namespace {

// On a system without SetDefaultDllDirectories velmot.exe still loads the power library from
// the system folder alone, by its full path: the planted one is not loaded.
void PlantedDllIgnoredWithoutDefaultDllDirectories() {
    Case c("without SetDefaultDllDirectories (Windows 7 without KB2533623), the powrprof.dll "
           "planted beside velmot.exe is not loaded either; /W 0:0 sleeps through the system "
           "folder's powrprof.dll");
    const std::string before = ReadText(plantedLogPath);
    Launch launch;
    launch.withoutDefaultDllDirectories = true;
    Process process;
    if (Started(c, L"/W 0:0", process, "", launch)) {
        CheckEnd(c, process, 1);
        const std::string planted = ReadText(plantedLogPath).substr(before.size());
        c.Check(planted.empty(),
                "the planted powrprof.dll was loaded: \"" + OneLine(planted) + "\"");
    }
    Report(c);
}

} // namespace

// The size is reported, not judged: scripts/test-windows.sh holds it against its budget.
void ImportsOnlySystemDlls() {
    Case c("velmot.exe imports only system DLLs");
    std::vector<char> file;
    HANDLE handle = CreateFileW(programPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    const DWORD error = GetLastError();
    if (c.Check(handle != INVALID_HANDLE_VALUE,
                "cannot read velmot.exe: " + Failed("CreateFileW", error))) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(handle, buffer, sizeof(buffer), &got, NULL) && got > 0) {
            file.insert(file.end(), buffer, buffer + got);
        }
        CloseHandle(handle);
        const std::vector<std::string> dlls = ImportedDlls(file);
        c.Check(!dlls.empty(), "no import directory found");
        // The KnownDLLs that it uses, which the loader takes from the system folder alone,
        // and the common controls, which its manifest takes from the side-by-side store.
        const char* const system[] = {"kernel32.dll", "user32.dll",   "gdi32.dll", "advapi32.dll",
                                      "shell32.dll",  "comctl32.dll", "msvcrt.dll"};
        std::string list;
        for (const std::string& dll : dlls) {
            list += (list.empty() ? "" : ", ") + dll;
            bool known = false;
            for (const char* name : system) {
                known = known || Lower(dll) == name;
            }
            c.Check(known, dll + " is not one of the system's KnownDLLs: the loader would look "
                                 "for it in velmot.exe's folder first");
        }
        printf("# velmot.exe: %u bytes; imports %s\n", static_cast<unsigned>(file.size()),
               list.c_str());
    }
    Report(c);
}

void DllLoadingCases() {
    PlantedDllIgnored();
    BareNameLoadTakesTheSystemFolders();
    PlantedDllIgnoredWithoutDefaultDllDirectories();
}

void PlantedDllNeverLoaded() {
    Case c("the planted powrprof.dll beside velmot.exe was loaded in no case");
    const std::string planted = ReadText(plantedLogPath);
    c.Check(planted.empty(), "it was loaded: \"" + OneLine(planted) + "\"");
    Report(c);
}

} // namespace wine_test

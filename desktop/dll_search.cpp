// Where the desktop program takes its DLLs from: the system folder only.
//
// Users unpack velmot.exe anywhere, often into their Downloads folder, and run it there. The
// loader looks for a DLL that is not one of the system's KnownDLLs in the program's own folder
// first, and in the current folder too, so a DLL of the right name planted there would run
// inside Velmot with the user's rights. So the program imports only KnownDLLs (and the common
// controls, which its manifest takes from the side-by-side store), loads the power library by
// its full path in the system folder, and restricts every later load to that folder. The
// image's load configuration (desktop/load_config.cpp) restricts the loads of what the system
// DLLs import in turn, on the systems that read it.
#include "platform/platform.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

// Whether every later load searches the system folder alone.
static int searchRestricted;

void DesktopRestrictDllSearch() {
    // Windows 7 has SetDefaultDllDirectories only with its update KB2533623, so it is looked
    // up rather than imported: an import that the system lacks would stop the program from
    // starting at all. kernel32 is always loaded, from the system folder.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
        kernel != NULL ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
                             GetProcAddress(kernel, "SetDefaultDllDirectories")))
                       : NULL;
    if (setDefaultDllDirectories != NULL &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        searchRestricted = 1;
        return;
    }
    // Without it, at least the current folder leaves the search.
    SetDllDirectoryW(L"");
}

HMODULE DesktopLoadSystemLibrary(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    // The length without the terminator; more than the buffer holds when it is too small.
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0) {
        return NULL;
    }
    // The folder's name ends with a backslash only when it is a drive's root.
    const UINT separator = path[length - 1] == L'\\' ? 0 : 1;
    if (length + separator + static_cast<UINT>(lstrlenW(name)) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    if (separator) {
        path[length] = L'\\';
    }
    lstrcpyW(path + length + separator, name);
    // The file by its full path; what it imports from the system folder too. Where the search
    // could not be restricted, the system lacks that flag, and the library's own folder (the
    // system folder) is searched first for what it imports.
    return LoadLibraryExW(path, NULL,
                          searchRestricted ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                           : LOAD_WITH_ALTERED_SEARCH_PATH);
}

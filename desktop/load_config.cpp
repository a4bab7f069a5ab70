// The image's load configuration, for what the system DLLs load in turn.
//
// Windows 10 (version 1607) and later read DependentLoadFlags from it: the search flags that
// the loader uses for the static imports of the DLLs that the program loads, as
// LoadLibraryExW would with them. LOAD_LIBRARY_SEARCH_SYSTEM32 keeps those in the system
// folder too, so no DLL comes from the program's own folder at any depth. Older systems ignore
// the field; there desktop/dll_search.cpp restricts what it can at run time.
//
// The loader finds the record through the image's load-configuration directory. GNU ld keeps
// the record but leaves that directory empty, so desktop/finish_image.py points it at
// this symbol after the link, finding the symbol's address in the link map.
#include "platform/platform.h"

#include <stddef.h>

// mingw-w64's headers still call the field Reserved1, where the current SDK names it
// DependentLoadFlags; the record is the 64-bit one, whose field is at offset 0x4E.
static_assert(sizeof(void*) == 8, "the record below is the 64-bit image's");
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == 0x4E,
              "DependentLoadFlags is not where the loader reads it");

// Every field zero (the system's defaults) but the record's size and the search flags.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = {
    sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64), // Size
    0,                                     // TimeDateStamp
    0,                                     // MajorVersion
    0,                                     // MinorVersion
    0,                                     // GlobalFlagsClear
    0,                                     // GlobalFlagsSet
    0,                                     // CriticalSectionDefaultTimeout
    0,                                     // DeCommitFreeBlockThreshold
    0,                                     // DeCommitTotalFreeThreshold
    0,                                     // LockPrefixTable
    0,                                     // MaximumAllocationSize
    0,                                     // VirtualMemoryThreshold
    0,                                     // ProcessAffinityMask
    0,                                     // ProcessHeapFlags
    0,                                     // CSDVersion
    LOAD_LIBRARY_SEARCH_SYSTEM32,          // DependentLoadFlags
    0,                                     // EditList
    0,                                     // SecurityCookie
    0,                                     // SEHandlerTable
    0,                                     // SEHandlerCount
};

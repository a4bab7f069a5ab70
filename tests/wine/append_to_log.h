// What the Wine tests' stand-in DLLs share: appending a line to a log file. The file is
// opened and closed for each line, so that every process that loads a stand-in may write to
// it, and the test driver may read it at any time.
#ifndef VELMOT_TESTS_WINE_APPEND_TO_LOG_H
#define VELMOT_TESTS_WINE_APPEND_TO_LOG_H

#include <windows.h>

#include <stddef.h>

inline void AppendToLog(const wchar_t* path, const char* text, size_t size) {
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(size), &written, NULL);
        CloseHandle(file);
    }
}

#endif

// Stand-in for the system's shell32.dll in the Wine tests: it exports what velmot.exe imports
// from shell32 (Shell_NotifyIconW only), forwards each call to Wine's own shell32.dll and
// returns its result, so the icon really appears and the call fails where the real one fails.
// When the environment variable VELMOT_SHELL_LOG names a file, each call also appends one line
// to it, after the real call:
//
//   NIM_ADD size=976 window=0x20064 id=1 flags=0x7 message=1125 icon=0x1f0056
//       image=16x16+alpha tip="Velmot" result=1 process=312 class="VelmotWndCls"  (one line)
//
// size is the record's cbSize; window, icon and flags are hexadecimal, the others decimal;
// image is the width x height in pixels of the record's icon as GetIconInfo gives it in the
// caller's process, with "+alpha" when the image has an alpha channel, or "none" when the
// record has no icon that can be read; result is what the real call returned (1 for success);
// process is the caller's process id and class the class name of the record's window when the
// call was made. tip and class are quoted, with \", \\ and \uXXXX (any unit outside printable
// ASCII) as escapes. An operation other than add, modify, delete, set-focus or set-version
// shows as its number; a null record shows as "record=null" in place of the fields from size
// to tip. When Wine's shell32 cannot be loaded, the call fails (ERROR_MOD_NOT_FOUND) and its
// line ends in " real=missing".
//
// The test driver installs this file in the Wine prefix's system folder as shell32.dll, and
// Wine loads it in place of its own only with the DLL override shell32=native (the driver
// sets it for velmot.exe alone; every other process keeps Wine's builtin shell32). Loading
// the system folder's shell32.dll by name or by path would answer this file itself, so the
// driver also copies Wine's own shell32.dll, as the prefix has it, to wineshell32.dll in the
// system folder, and this file loads that copy by its full path: Wine loads it as its builtin
// shell32 under the other name.
#define _SHELL32_ // defines, rather than imports, the shell32 functions declared below
#define __USE_MINGW_ANSI_STDIO 1 // C99 printf formats (%llx) whatever the C library
#include <windows.h>
#include <shellapi.h>

#include "append_to_log.h"

#include <stdio.h>

namespace {

typedef BOOL(WINAPI* NotifyIconFunction)(DWORD, PNOTIFYICONDATAW);

// The real Shell_NotifyIconW (Wine's, from the copy wineshell32.dll in the system folder), or
// null when it cannot be loaded.
NotifyIconFunction RealNotifyIcon() {
    static NotifyIconFunction real = NULL;
    if (real != NULL) {
        return real;
    }
    wchar_t path[MAX_PATH];
    const wchar_t name[] = L"\\wineshell32.dll";
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + sizeof(name) / sizeof(name[0]) > MAX_PATH) {
        return NULL;
    }
    lstrcpyW(path + length, name);
    HMODULE module = LoadLibraryW(path);
    // Should the copy be missing, no other shell32 may answer for it: not this file itself.
    HMODULE self = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&RealNotifyIcon), &self);
    if (module == NULL || module == self) {
        return NULL;
    }
    real = reinterpret_cast<NotifyIconFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "Shell_NotifyIconW")));
    return real;
}

// A growing line of the log; long enough for every field at its longest.
struct Line {
    char text[4096];
    int used = 0;

    __attribute__((format(gnu_printf, 2, 3))) void Add(const char* format, ...) {
        if (used >= static_cast<int>(sizeof(text))) {
            return;
        }
        va_list arguments;
        va_start(arguments, format);
        const int size = vsnprintf(text + used, sizeof(text) - used, format, arguments);
        va_end(arguments);
        if (size > 0) {
            used += size;
            if (used > static_cast<int>(sizeof(text)) - 1) {
                used = static_cast<int>(sizeof(text)) - 1;
            }
        }
    }
    // Text of at most count units, up to its terminator, quoted and escaped.
    void AddQuoted(const wchar_t* units, int count) {
        Add("\"");
        for (int i = 0; i < count && units[i] != 0; ++i) {
            const wchar_t unit = units[i];
            if (unit == L'"' || unit == L'\\') {
                Add("\\%c", static_cast<char>(unit));
            } else if (unit >= 0x20 && unit < 0x7F) {
                Add("%c", static_cast<char>(unit));
            } else {
                Add("\\u%04X", static_cast<unsigned>(unit));
            }
        }
        Add("\"");
    }
};

const char* OperationName(DWORD operation) {
    switch (operation) {
    case NIM_ADD:
        return "NIM_ADD";
    case NIM_MODIFY:
        return "NIM_MODIFY";
    case NIM_DELETE:
        return "NIM_DELETE";
    case NIM_SETFOCUS:
        return "NIM_SETFOCUS";
    case NIM_SETVERSION:
        return "NIM_SETVERSION";
    default:
        return NULL;
    }
}

// What the log tells of an icon: the size of its image (its colour bitmap's, or for a
// monochrome icon, whose one bitmap holds the mask above the image, half its mask's), and
// whether the image has an alpha channel (any pixel's alpha not 0). False when it cannot be
// read.
bool ReadIcon(HICON icon, LONG& width, LONG& height, bool& alpha) {
    ICONINFO info;
    if (icon == NULL || !GetIconInfo(icon, &info)) {
        return false;
    }
    BITMAP bitmap;
    const HBITMAP image = info.hbmColor != NULL ? info.hbmColor : info.hbmMask;
    bool read = image != NULL && GetObjectW(image, sizeof(bitmap), &bitmap) != 0 &&
                bitmap.bmWidth > 0 && bitmap.bmWidth <= 1024 && bitmap.bmHeight > 0 &&
                bitmap.bmHeight <= 1024;
    if (read) {
        width = bitmap.bmWidth;
        height = info.hbmColor != NULL ? bitmap.bmHeight : bitmap.bmHeight / 2;
        alpha = false;
    }
    if (read && info.hbmColor != NULL) {
        // The colour bitmap's pixels as 32-bit values, alpha in the top byte, rows top down.
        BITMAPINFO format;
        ZeroMemory(&format, sizeof(format));
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = width;
        format.bmiHeader.biHeight = -height;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        // From the process heap: the C++ library's containers would make this DLL depend on
        // the C++ library's DLL, which velmot.exe does not have beside it.
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        DWORD* pixels = static_cast<DWORD*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(DWORD)));
        HDC screen = GetDC(NULL);
        read = pixels != NULL && screen != NULL &&
               GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(height), pixels, &format,
                         DIB_RGB_COLORS) == height;
        ReleaseDC(NULL, screen);
        for (size_t i = 0; read && i < count; ++i) {
            alpha = alpha || (pixels[i] >> 24) != 0;
        }
        if (pixels != NULL) {
            HeapFree(GetProcessHeap(), 0, pixels);
        }
    }
    // GetIconInfo made the bitmaps for the caller, who deletes them.
    if (info.hbmColor != NULL) {
        DeleteObject(info.hbmColor);
    }
    if (info.hbmMask != NULL) {
        DeleteObject(info.hbmMask);
    }
    return read;
}

// A library loaded by its bare name, as the real shell32 loads some of those it needs when
// first asked for something. When VELMOT_LOAD_BY_NAME names a DLL, the first call in a process
// loads it so (LoadLibraryW: the loader's search as the program has left it after its
// start-up) and keeps it, and appends one line to the file named by VELMOT_LOAD_LOG, with the
// file that was loaded or the error:
//
//   LoadLibraryW powrprof.dll: C:\windows\system32\powrprof.dll process=312
//   LoadLibraryW powrprof.dll: error 126 process=312
void LoadByNameOnce() {
    static bool done = false;
    wchar_t name[MAX_PATH];
    wchar_t path[MAX_PATH];
    const DWORD nameLength = GetEnvironmentVariableW(L"VELMOT_LOAD_BY_NAME", name, MAX_PATH);
    const DWORD pathLength = GetEnvironmentVariableW(L"VELMOT_LOAD_LOG", path, MAX_PATH);
    if (done || nameLength == 0 || nameLength >= MAX_PATH || pathLength == 0 ||
        pathLength >= MAX_PATH) {
        return;
    }
    done = true;
    const HMODULE module = LoadLibraryW(name);
    const DWORD error = GetLastError();
    wchar_t file[MAX_PATH] = {0};
    Line line;
    line.Add("LoadLibraryW %ls: ", name);
    if (module != NULL && GetModuleFileNameW(module, file, MAX_PATH) > 0) {
        line.Add("%ls", file);
    } else {
        line.Add("error %lu", static_cast<unsigned long>(error));
    }
    line.Add(" process=%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
    AppendToLog(path, line.text, line.used);
}

} // namespace

extern "C" __declspec(dllexport) BOOL WINAPI
    Shell_NotifyIconW(DWORD operation, PNOTIFYICONDATAW data) {
    // The caller's last error, which only the real call may change.
    const DWORD incomingError = GetLastError();
    LoadByNameOnce();
    wchar_t path[MAX_PATH];
    const DWORD pathLength = GetEnvironmentVariableW(L"VELMOT_SHELL_LOG", path, MAX_PATH);
    const bool logging = pathLength > 0 && pathLength < MAX_PATH;
    // The window's class, taken before the call, which may be the last one before the window
    // is destroyed.
    wchar_t className[256] = {0};
    LONG iconWidth = 0;
    LONG iconHeight = 0;
    bool iconAlpha = false;
    bool iconRead = false;
    if (logging && data != NULL) {
        GetClassNameW(data->hWnd, className, 256);
        iconRead = ReadIcon(data->hIcon, iconWidth, iconHeight, iconAlpha);
    }

    const NotifyIconFunction real = RealNotifyIcon();
    BOOL result = FALSE;
    if (real != NULL) {
        SetLastError(incomingError);
        result = real(operation, data);
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    if (!logging) {
        return result;
    }
    const DWORD error = GetLastError();

    Line line;
    const char* name = OperationName(operation);
    if (name != NULL) {
        line.Add("%s", name);
    } else {
        line.Add("%lu", static_cast<unsigned long>(operation));
    }
    if (data == NULL) {
        line.Add(" record=null");
    } else {
        // The first fields, up to a 64-unit tooltip, are read whatever cbSize says (Wine and
        // Windows take a record of unknown size as the first version's); the longer tooltip
        // only in a record that is long enough for it.
        const int tipUnits = data->cbSize >= NOTIFYICONDATAW_V2_SIZE ? 128 : 64;
        line.Add(" size=%lu window=0x%llx id=%u flags=0x%x message=%u icon=0x%llx",
                 static_cast<unsigned long>(data->cbSize),
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(data->hWnd)), data->uID,
                 data->uFlags, data->uCallbackMessage,
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(data->hIcon)));
        if (iconRead) {
            line.Add(" image=%ldx%ld%s", iconWidth, iconHeight, iconAlpha ? "+alpha" : "");
        } else {
            line.Add(" image=none");
        }
        line.Add(" tip=");
        line.AddQuoted(data->szTip, tipUnits);
    }
    line.Add(" result=%d process=%lu class=", result,
             static_cast<unsigned long>(GetCurrentProcessId()));
    line.AddQuoted(className, 256);
    if (real == NULL) {
        line.Add(" real=missing");
    }
    line.Add("\n");
    AppendToLog(path, line.text, line.used);
    SetLastError(error);
    return result;
}

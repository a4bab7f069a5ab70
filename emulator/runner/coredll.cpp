// COREDLL as guest code sees it: each export a thunk that reads the device's 32-bit
// arguments, calls the emulator's own function and returns its result in 32 bits. Records
// are read and written in the device's layout (WNDCLASSW 40 bytes, MSG 28, NOTIFYICONDATA
// 152, SYSTEMTIME and RECT 16). The C library's functions act on guest memory as the
// device's C library does.
#include "emulator/runner/thunks.h"

#include <climits>

namespace emu::runner {

namespace {

using namespace thunks;

constexpr uint32_t GuestMsgSize = 28;
constexpr uint32_t GuestNotifyIconSize = 152;
constexpr uint32_t GuestWindowClassSize = 40;

// Class names are texts here: the emulator keeps no atoms.
LPCWSTR ClassName(Process& process, uint32_t value, std::wstring& storage) {
    if (value != 0 && (value >> 16) == 0) {
        throw Failure("window classes named by atom are not emulated");
    }
    return Text(process, value, storage, "a class name");
}

MSG ReadMsg(Process& process, uint32_t address) {
    const uint8_t* guest = process.Host(address, GuestMsgSize, "a MSG record");
    MSG msg{};
    msg.hwnd = ToHost<HWND>(Field32(guest, 0));
    msg.message = Field32(guest, 4);
    msg.wParam = ParamToHost(msg.message, true, Field32(guest, 8));
    msg.lParam = static_cast<LPARAM>(ParamToHost(msg.message, false, Field32(guest, 12)));
    msg.time = Field32(guest, 16);
    msg.pt.x = static_cast<LONG>(Field32(guest, 20));
    msg.pt.y = static_cast<LONG>(Field32(guest, 24));
    return msg;
}

void WriteMsg(Process& process, uint32_t address, const MSG& msg) {
    uint8_t* guest = process.Host(address, GuestMsgSize, "a MSG record");
    SetField32(guest, 0, ToGuest(msg.hwnd));
    SetField32(guest, 4, msg.message);
    SetField32(guest, 8, ParamToGuest(msg.message, true, msg.wParam));
    SetField32(guest, 12, ParamToGuest(msg.message, false, static_cast<uintptr_t>(msg.lParam)));
    SetField32(guest, 16, msg.time);
    SetField32(guest, 20, static_cast<uint32_t>(msg.pt.x));
    SetField32(guest, 24, static_cast<uint32_t>(msg.pt.y));
}

// ---- Clock, kernel objects ----------------------------------------------------------------

uint32_t GetLocalTimeThunk(Call& c) {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    static_assert(sizeof(SYSTEMTIME) == 16, "eight 16-bit fields, as on the device");
    std::memcpy(c.process.Host(c.Arg(0), sizeof(time), "a SYSTEMTIME record"), &time, sizeof(time));
    return 0;
}

uint32_t CreateMutexWThunk(Call& c) {
    SECURITY_ATTRIBUTES attributes{};
    SECURITY_ATTRIBUTES* given = nullptr;
    if (c.Arg(0) != 0) {
        const uint8_t* guest = c.process.Host(c.Arg(0), 12, "a SECURITY_ATTRIBUTES record");
        attributes = {Field32(guest, 0), reinterpret_cast<LPVOID>(uintptr_t{Field32(guest, 4)}),
                      static_cast<BOOL>(Field32(guest, 8))};
        given = &attributes;
    }
    std::wstring name;
    return ToGuest(CreateMutexW(given, static_cast<BOOL>(c.Arg(1)),
                                Text(c.process, c.Arg(2), name, "a mutex name")));
}

uint32_t GetLastErrorThunk(Call&) {
    return GetLastError();
}

// ---- Windows ------------------------------------------------------------------------------

uint32_t RegisterClassWThunk(Call& c) {
    const uint8_t* guest = c.process.Host(c.Arg(0), GuestWindowClassSize, "a WNDCLASSW record");
    std::wstring menu, name;
    WNDCLASSW windowClass{};
    windowClass.style = Field32(guest, 0);
    windowClass.lpfnWndProc = c.process.WindowProcedure(Field32(guest, 4));
    windowClass.cbClsExtra = static_cast<int>(Field32(guest, 8));
    windowClass.cbWndExtra = static_cast<int>(Field32(guest, 12));
    windowClass.hInstance = ToHost<HINSTANCE>(Field32(guest, 16));
    windowClass.hIcon = ToHost<HICON>(Field32(guest, 20));
    windowClass.hCursor = ToHost<HCURSOR>(Field32(guest, 24));
    windowClass.hbrBackground = ToHost<HBRUSH>(Field32(guest, 28));
    windowClass.lpszMenuName = Name(c.process, Field32(guest, 32), menu, "a menu name");
    windowClass.lpszClassName = ClassName(c.process, Field32(guest, 36), name);
    return RegisterClassW(&windowClass);
}

uint32_t CreateWindowExWThunk(Call& c) {
    std::wstring className, title;
    return ToGuest(CreateWindowExW(
        c.Arg(0), ClassName(c.process, c.Arg(1), className),
        Text(c.process, c.Arg(2), title, "a window title"), c.Arg(3), static_cast<int>(c.Arg(4)),
        static_cast<int>(c.Arg(5)), static_cast<int>(c.Arg(6)), static_cast<int>(c.Arg(7)),
        ToHost<HWND>(c.Arg(8)), ToHost<HMENU>(c.Arg(9)), ToHost<HINSTANCE>(c.Arg(10)),
        reinterpret_cast<LPVOID>(uintptr_t{c.Arg(11)})));
}

uint32_t DestroyWindowThunk(Call& c) {
    return Bool(DestroyWindow(ToHost<HWND>(c.Arg(0))));
}

uint32_t IsWindowThunk(Call& c) {
    return Bool(IsWindow(ToHost<HWND>(c.Arg(0))));
}

uint32_t FindWindowWThunk(Call& c) {
    std::wstring className, title;
    return ToGuest(FindWindowW(ClassName(c.process, c.Arg(0), className),
                               Text(c.process, c.Arg(1), title, "a window title")));
}

uint32_t DefWindowProcWThunk(Call& c) {
    const UINT message = c.Arg(1);
    return Result(DefWindowProcW(ToHost<HWND>(c.Arg(0)), message,
                                 ParamToHost(message, true, c.Arg(2)),
                                 static_cast<LPARAM>(ParamToHost(message, false, c.Arg(3)))));
}

uint32_t SetForegroundWindowThunk(Call& c) {
    return Bool(SetForegroundWindow(ToHost<HWND>(c.Arg(0))));
}

uint32_t GetWindowRectThunk(Call& c) {
    RECT rect{};
    const BOOL done = GetWindowRect(ToHost<HWND>(c.Arg(0)), &rect);
    if (done) {
        static_assert(sizeof(RECT) == 16, "four 32-bit fields, as on the device");
        std::memcpy(c.process.Host(c.Arg(1), sizeof(rect), "a RECT record"), &rect, sizeof(rect));
    }
    return Bool(done);
}

uint32_t SetWindowTextWThunk(Call& c) {
    std::wstring text;
    return Bool(
        SetWindowTextW(ToHost<HWND>(c.Arg(0)), Text(c.process, c.Arg(1), text, "a window text")));
}

uint32_t EnableWindowThunk(Call& c) {
    return Bool(EnableWindow(ToHost<HWND>(c.Arg(0)), static_cast<BOOL>(c.Arg(1))));
}

// ---- Messages -----------------------------------------------------------------------------

uint32_t GetMessageWThunk(Call& c) {
    MSG msg{};
    const BOOL result = GetMessageW(&msg, ToHost<HWND>(c.Arg(1)), c.Arg(2), c.Arg(3));
    WriteMsg(c.process, c.Arg(0), msg);
    return Bool(result);
}

uint32_t TranslateMessageThunk(Call& c) {
    const MSG msg = ReadMsg(c.process, c.Arg(0));
    return Bool(TranslateMessage(&msg));
}

uint32_t DispatchMessageWThunk(Call& c) {
    const MSG msg = ReadMsg(c.process, c.Arg(0));
    return Result(DispatchMessageW(&msg));
}

uint32_t SendMessageWThunk(Call& c) {
    const UINT message = c.Arg(1);
    return Result(SendMessageW(ToHost<HWND>(c.Arg(0)), message,
                               ParamToHost(message, true, c.Arg(2)),
                               static_cast<LPARAM>(ParamToHost(message, false, c.Arg(3)))));
}

uint32_t PostMessageWThunk(Call& c) {
    const UINT message = c.Arg(1);
    return Bool(PostMessageW(ToHost<HWND>(c.Arg(0)), message, ParamToHost(message, true, c.Arg(2)),
                             static_cast<LPARAM>(ParamToHost(message, false, c.Arg(3)))));
}

uint32_t PostQuitMessageThunk(Call& c) {
    PostQuitMessage(static_cast<int>(c.Arg(0)));
    return 0;
}

uint32_t RegisterWindowMessageWThunk(Call& c) {
    std::wstring name;
    return RegisterWindowMessageW(Text(c.process, c.Arg(0), name, "a message name"));
}

// ---- Timers -------------------------------------------------------------------------------

uint32_t SetTimerThunk(Call& c) {
    if (c.Arg(3) != 0) {
        throw Failure("SetTimer: timer procedures are not emulated");
    }
    return static_cast<uint32_t>(SetTimer(ToHost<HWND>(c.Arg(0)), c.Arg(1), c.Arg(2), nullptr));
}

uint32_t KillTimerThunk(Call& c) {
    return Bool(KillTimer(ToHost<HWND>(c.Arg(0)), c.Arg(1)));
}

// ---- Resources ----------------------------------------------------------------------------

uint32_t LoadImageWThunk(Call& c) {
    std::wstring name;
    return ToGuest(LoadImageW(ToHost<HINSTANCE>(c.Arg(0)),
                              Name(c.process, c.Arg(1), name, "an image name"), c.Arg(2),
                              static_cast<int>(c.Arg(3)), static_cast<int>(c.Arg(4)), c.Arg(5)));
}

uint32_t FindResourceWThunk(Call& c) {
    std::wstring name, type;
    return ToGuest(FindResourceW(ToHost<HMODULE>(c.Arg(0)),
                                 Name(c.process, c.Arg(1), name, "a resource name"),
                                 Name(c.process, c.Arg(2), type, "a resource type")));
}

// The loaded resource is where the image holds it in the program's memory.
uint32_t LoadResourceThunk(Call& c) {
    const HGLOBAL data = LoadResource(ToHost<HMODULE>(c.Arg(0)), ToHost<HRSRC>(c.Arg(1)));
    return data != nullptr ? c.process.Guest(data, "a loaded resource") : 0;
}

// ---- Dialogs ------------------------------------------------------------------------------

uint32_t DialogBoxIndirectParamWThunk(Call& c) {
    // The template's fixed header must lie in the program's memory; the rest follows it.
    const auto* dialogTemplate = reinterpret_cast<LPCDLGTEMPLATE>(
        c.Arg(1) != 0 ? c.process.Host(c.Arg(1), sizeof(DLGTEMPLATE), "a dialog template")
                      : nullptr);
    return static_cast<uint32_t>(DialogBoxIndirectParamW(
        ToHost<HINSTANCE>(c.Arg(0)), dialogTemplate, ToHost<HWND>(c.Arg(2)),
        c.process.DialogProcedure(c.Arg(3)), static_cast<LPARAM>(static_cast<int32_t>(c.Arg(4)))));
}

uint32_t EndDialogThunk(Call& c) {
    return Bool(EndDialog(ToHost<HWND>(c.Arg(0)), static_cast<int>(c.Arg(1))));
}

uint32_t GetDlgItemThunk(Call& c) {
    return ToGuest(GetDlgItem(ToHost<HWND>(c.Arg(0)), static_cast<int>(c.Arg(1))));
}

uint32_t SendDlgItemMessageWThunk(Call& c) {
    const UINT message = c.Arg(2);
    return Result(SendDlgItemMessageW(ToHost<HWND>(c.Arg(0)), static_cast<int>(c.Arg(1)), message,
                                      ParamToHost(message, true, c.Arg(3)),
                                      static_cast<LPARAM>(ParamToHost(message, false, c.Arg(4)))));
}

uint32_t SetDlgItemIntThunk(Call& c) {
    return Bool(SetDlgItemInt(ToHost<HWND>(c.Arg(0)), static_cast<int>(c.Arg(1)), c.Arg(2),
                              static_cast<BOOL>(c.Arg(3))));
}

uint32_t GetDlgItemIntThunk(Call& c) {
    BOOL translated = FALSE;
    const UINT value = GetDlgItemInt(ToHost<HWND>(c.Arg(0)), static_cast<int>(c.Arg(1)),
                                     &translated, static_cast<BOOL>(c.Arg(3)));
    if (c.Arg(2) != 0) {
        c.process.Write32(c.Arg(2), static_cast<uint32_t>(translated), "a BOOL");
    }
    return value;
}

// ---- Menus --------------------------------------------------------------------------------

uint32_t CreatePopupMenuThunk(Call&) {
    return ToGuest(CreatePopupMenu());
}

uint32_t AppendMenuWThunk(Call& c) {
    std::wstring text;
    const UINT flags = c.Arg(1);
    LPCWSTR item =
        (flags & MF_SEPARATOR) ? nullptr : Text(c.process, c.Arg(3), text, "a menu item");
    return Bool(AppendMenuW(ToHost<HMENU>(c.Arg(0)), flags, c.Arg(2), item));
}

uint32_t TrackPopupMenuExThunk(Call& c) {
    TPMPARAMS params{};
    TPMPARAMS* given = nullptr;
    if (c.Arg(5) != 0) {
        const uint8_t* guest = c.process.Host(c.Arg(5), 20, "a TPMPARAMS record");
        params.cbSize = Field32(guest, 0) == 20 ? sizeof(TPMPARAMS) : Field32(guest, 0);
        std::memcpy(&params.rcExclude, guest + 4, sizeof(params.rcExclude));
        given = &params;
    }
    return Bool(TrackPopupMenuEx(ToHost<HMENU>(c.Arg(0)), c.Arg(1), static_cast<int>(c.Arg(2)),
                                 static_cast<int>(c.Arg(3)), ToHost<HWND>(c.Arg(4)), given));
}

uint32_t DestroyMenuThunk(Call& c) {
    return Bool(DestroyMenu(ToHost<HMENU>(c.Arg(0))));
}

// ---- Keyboard, notification area ----------------------------------------------------------

uint32_t keybd_eventThunk(Call& c) {
    keybd_event(static_cast<BYTE>(c.Arg(0)), static_cast<BYTE>(c.Arg(1)), c.Arg(2), c.Arg(3));
    return 0;
}

uint32_t Shell_NotifyIconThunk(Call& c) {
    if (c.Arg(1) == 0) {
        return Bool(Shell_NotifyIcon(c.Arg(0), nullptr));
    }
    const uint8_t* guest = c.process.Host(c.Arg(1), 4, "a NOTIFYICONDATA record");
    const uint32_t size = Field32(guest, 0);
    NOTIFYICONDATA data{};
    // A record of the device's size is the emulator's; any other size stays wrong.
    data.cbSize = size == GuestNotifyIconSize ? sizeof(NOTIFYICONDATA) : size;
    if (size == GuestNotifyIconSize) {
        guest = c.process.Host(c.Arg(1), GuestNotifyIconSize, "a NOTIFYICONDATA record");
        data.hWnd = ToHost<HWND>(Field32(guest, 4));
        data.uID = Field32(guest, 8);
        data.uFlags = Field32(guest, 12);
        data.uCallbackMessage = Field32(guest, 16);
        data.hIcon = ToHost<HICON>(Field32(guest, 20));
        for (size_t i = 0; i < 64; ++i) {
            uint16_t unit;
            std::memcpy(&unit, guest + 24 + 2 * i, sizeof(unit));
            data.szTip[i] = static_cast<WCHAR>(unit);
        }
    }
    return Bool(Shell_NotifyIcon(c.Arg(0), &data));
}

// ---- Debugging ---------------------------------------------------------------------------

uint32_t OutputDebugStringWThunk(Call& c) {
    std::wstring text;
    OutputDebugStringW(Text(c.process, c.Arg(0), text, "a debug text"));
    return 0;
}

// ---- The C library ------------------------------------------------------------------------

uint32_t memsetThunk(Call& c) {
    if (c.Arg(2) != 0) {
        std::memset(c.process.Host(c.Arg(0), c.Arg(2), "memset's destination"),
                    static_cast<int>(c.Arg(1) & 0xFF), c.Arg(2));
    }
    return c.Arg(0);
}

uint16_t Unit(Process& process, uint32_t address) {
    uint16_t unit;
    std::memcpy(&unit, process.Host(address, 2, "a text"), sizeof(unit));
    return unit;
}

// Copies at most count units; a shorter source is padded with zeros up to count.
uint32_t wcsncpyThunk(Call& c) {
    const uint32_t destination = c.Arg(0), source = c.Arg(1), count = c.Arg(2);
    bool ended = false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t unit = ended ? 0 : Unit(c.process, source + 2 * i);
        ended = ended || unit == 0;
        std::memcpy(c.process.Host(destination + 2 * i, 2, "wcsncpy's destination"), &unit,
                    sizeof(unit));
    }
    return destination;
}

int DigitValue(uint16_t unit) {
    if (unit >= '0' && unit <= '9') {
        return unit - '0';
    }
    if (unit >= 'a' && unit <= 'z') {
        return unit - 'a' + 10;
    }
    if (unit >= 'A' && unit <= 'Z') {
        return unit - 'A' + 10;
    }
    return 99;
}

// The C library's conversion with a 32-bit long: white space skipped, an optional sign,
// "0x" for base 16 (or base 0, which also takes a leading 0 as octal); a value beyond the
// range gives LONG_MAX or LONG_MIN; the end pointer, when asked for, points after the last
// digit, or at the start when there is none.
uint32_t wcstolThunk(Call& c) {
    const uint32_t start = c.Arg(0), end = c.Arg(1);
    int base = static_cast<int>(c.Arg(2));
    uint32_t at = start;
    auto unit = [&c, &at](uint32_t ahead) { return Unit(c.process, at + 2 * ahead); };
    auto finish = [&c, end](uint32_t stop, int32_t value) {
        if (end != 0) {
            c.process.Write32(end, stop, "wcstol's end pointer");
        }
        return static_cast<uint32_t>(value);
    };
    if (base < 0 || base == 1 || base > 36) {
        return finish(start, 0);
    }
    while (unit(0) == ' ' || (unit(0) >= 0x09 && unit(0) <= 0x0D)) {
        at += 2;
    }
    const bool negative = unit(0) == '-';
    if (unit(0) == '-' || unit(0) == '+') {
        at += 2;
    }
    if ((base == 0 || base == 16) && unit(0) == '0' && (unit(1) == 'x' || unit(1) == 'X') &&
        DigitValue(unit(2)) < 16) {
        base = 16;
        at += 4;
    } else if (base == 0) {
        base = unit(0) == '0' ? 8 : 10;
    }
    const uint32_t digits = at;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t value = 0;
    bool overflow = false;
    for (; DigitValue(unit(0)) < base; at += 2) {
        value = value * base + DigitValue(unit(0));
        if (value > limit) {
            overflow = true;
            value = limit;
        }
    }
    if (at == digits) {
        return finish(start, 0); // no digits: nothing converted
    }
    if (overflow) {
        return finish(at, negative ? INT32_MIN : INT32_MAX);
    }
    return finish(at, static_cast<int32_t>(negative ? -value : value));
}

const Export Exports[] = {
    {"GetLocalTime", GetLocalTimeThunk},
    {"CreateMutexW", CreateMutexWThunk},
    {"GetLastError", GetLastErrorThunk},
    {"RegisterClassW", RegisterClassWThunk},
    {"CreateWindowExW", CreateWindowExWThunk},
    {"DestroyWindow", DestroyWindowThunk},
    {"IsWindow", IsWindowThunk},
    {"FindWindowW", FindWindowWThunk},
    {"DefWindowProcW", DefWindowProcWThunk},
    {"SetForegroundWindow", SetForegroundWindowThunk},
    {"GetWindowRect", GetWindowRectThunk},
    {"SetWindowTextW", SetWindowTextWThunk},
    {"EnableWindow", EnableWindowThunk},
    {"GetMessageW", GetMessageWThunk},
    {"TranslateMessage", TranslateMessageThunk},
    {"DispatchMessageW", DispatchMessageWThunk},
    {"SendMessageW", SendMessageWThunk},
    {"PostMessageW", PostMessageWThunk},
    {"PostQuitMessage", PostQuitMessageThunk},
    {"RegisterWindowMessageW", RegisterWindowMessageWThunk},
    {"SetTimer", SetTimerThunk},
    {"KillTimer", KillTimerThunk},
    {"LoadImageW", LoadImageWThunk},
    {"FindResourceW", FindResourceWThunk},
    {"LoadResource", LoadResourceThunk},
    {"DialogBoxIndirectParamW", DialogBoxIndirectParamWThunk},
    {"EndDialog", EndDialogThunk},
    {"GetDlgItem", GetDlgItemThunk},
    {"SendDlgItemMessageW", SendDlgItemMessageWThunk},
    {"SetDlgItemInt", SetDlgItemIntThunk},
    {"GetDlgItemInt", GetDlgItemIntThunk},
    {"CreatePopupMenu", CreatePopupMenuThunk},
    {"AppendMenuW", AppendMenuWThunk},
    {"TrackPopupMenuEx", TrackPopupMenuExThunk},
    {"DestroyMenu", DestroyMenuThunk},
    {"keybd_event", keybd_eventThunk},
    {"Shell_NotifyIcon", Shell_NotifyIconThunk},
    {"OutputDebugStringW", OutputDebugStringWThunk},
    {"memset", memsetThunk},
    {"wcsncpy", wcsncpyThunk},
    {"wcstol", wcstolThunk},
};

} // namespace

const Library CoreDll = {"COREDLL", Exports, sizeof(Exports) / sizeof(Exports[0])};

} // namespace emu::runner

// A conformance program for the device's platform, built by the device toolchain beside
// velmot.exe. It calls COREDLL's and AYGSHELL's exports with distinctive, asymmetric values
// (so that two values swapped, a sign lost or a handle left unconverted shows) and reports
// what it got, one line per check, through the debugger's output (OutputDebugStringW). It
// judges nothing itself: tests/conformance_test.cpp runs it on the emulated device and
// compares the lines with what the platform is documented to give. Exit code 0.
//
// The device's conservative C++: no heap, run-time start-up, exceptions or RTTI.
#include "platform/platform.h"

namespace {

// ---- The report: one line at a time, built in place --------------------------------------

const int LineSize = 160;
WCHAR line[LineSize];
int length;

void Put(const WCHAR* text) {
    for (; text != 0 && *text != 0 && length < LineSize - 1; ++text) {
        line[length++] = *text;
    }
}

// In base 10 or 16 only, each a division by a constant: ARMv4 has no divide instruction, and
// the image links no helper for a division by a variable.
void PutUnsigned(unsigned long value, bool hex = false) {
    WCHAR digits[12];
    int count = 0;
    do {
        const unsigned digit = static_cast<unsigned>(hex ? value % 16 : value % 10);
        digits[count++] = static_cast<WCHAR>(digit < 10 ? L'0' + digit : L'A' + digit - 10);
        value = hex ? value / 16 : value / 10;
    } while (value != 0);
    while (count > 0 && length < LineSize - 1) {
        line[length++] = digits[--count];
    }
}

void PutInt(long value) {
    if (value < 0) {
        Put(L"-");
        PutUnsigned(0ul - static_cast<unsigned long>(value));
    } else {
        PutUnsigned(static_cast<unsigned long>(value));
    }
}

void PutHex(unsigned long value) {
    Put(L"0x");
    PutUnsigned(value, true);
}

void PutSame(bool same) {
    Put(same ? L"same" : L"different");
}

void PutRect(const RECT& rect) {
    PutInt(rect.left);
    Put(L",");
    PutInt(rect.top);
    Put(L",");
    PutInt(rect.right);
    Put(L",");
    PutInt(rect.bottom);
}

void Send() {
    line[length] = 0;
    OutputDebugStringW(line);
    length = 0;
}

// ---- The values -----------------------------------------------------------------------------

const WCHAR ClassName[] = L"VelmotConformance";
const WCHAR RefusingClassName[] = L"VelmotConformanceRefusing";
const WCHAR Title[] = L"Conformance";
const WCHAR MutexName[] = L"VelmotConformanceMutex";
const DWORD Style = WS_VISIBLE | WS_CAPTION;
const DWORD ExStyle = WS_EX_TOPMOST;
const UINT ClassStyle = 0x8; // CS_DBLCLKS
const DWORD CreateParam = 0x13579BDF;
const UINT FirstPosted = WM_USER + 1;
const UINT SecondPosted = WM_USER + 2;
const UINT Sent = WM_USER + 3;
const LRESULT SentResult = -74565;
const UINT TimerId = 42;
const UINT TimerPeriod = 1234;
const int EditId = 1001;
const int BoxId = 1002;
const LPARAM InitParam = -0x7531ECA9; // 0x8ACE1357
const int DialogResult = 7;

HINSTANCE instance;

// ---- The windows -----------------------------------------------------------------------------

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        Put(L"create at ");
        PutInt(create->x);
        Put(L",");
        PutInt(create->y);
        Put(L" size ");
        PutInt(create->cx);
        Put(L"x");
        PutInt(create->cy);
        Send();
        Put(L"create style ");
        PutHex(static_cast<DWORD>(create->style));
        Put(L" ex style ");
        PutHex(create->dwExStyle);
        Send();
        Put(L"create name ");
        Put(create->lpszName);
        Put(L" class ");
        Put(create->lpszClass);
        Send();
        Put(L"create param ");
        PutHex(reinterpret_cast<DWORD>(create->lpCreateParams));
        Put(L" instance ");
        PutSame(create->hInstance == instance);
        Send();
        return 0;
    }
    case FirstPosted:
    case SecondPosted:
    case Sent:
    case WM_TIMER:
        Put(L"procedure ");
        PutHex(message);
        Put(L" wParam ");
        PutHex(wParam);
        Put(L" lParam ");
        PutInt(lParam);
        Send();
        return message == Sent ? SentResult : 0;
    case WM_DESTROY:
        Put(L"window destroyed");
        Send();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK RefusingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        Put(L"refusing window: create, answers -1");
        Send();
        return -1;
    }
    if (message == WM_DESTROY) {
        Put(L"refusing window: destroy");
        Send();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The class's extra bytes differ, so that one read from the other's field shows in the
// emulator's note of the registration.
bool Register(const WCHAR* name, WNDPROC procedure, UINT style, int classExtra, int windowExtra) {
    WNDCLASSW windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbClsExtra = classExtra;
    windowClass.cbWndExtra = windowExtra;
    windowClass.hInstance = instance;
    windowClass.hIcon = 0;
    windowClass.hCursor = 0;
    windowClass.hbrBackground = 0;
    windowClass.lpszMenuName = 0;
    windowClass.lpszClassName = name;
    return RegisterClassW(&windowClass) != 0;
}

// A retrieved message as GetMessageW gives it, then dispatched.
void Retrieve(HWND window, DWORD* time) {
    MSG msg;
    const BOOL result = GetMessageW(&msg, 0, 0, 0);
    Put(L"message ");
    PutHex(msg.message);
    Put(L" result ");
    PutInt(result);
    Put(L" window ");
    Put(msg.hwnd == window ? L"same" : msg.hwnd == 0 ? L"none" : L"other");
    Put(L" wParam ");
    PutHex(msg.wParam);
    Put(L" lParam ");
    PutInt(msg.lParam);
    if (result > 0) {
        Put(L" pt ");
        PutInt(msg.pt.x);
        Put(L",");
        PutInt(msg.pt.y);
    }
    if (msg.message == WM_TIMER) {
        Put(L" after ");
        PutUnsigned(msg.time - *time);
        Put(L" ms");
    }
    *time = msg.time;
    Send();
    if (result > 0) {
        DispatchMessageW(&msg);
    }
}

// ---- The dialog ------------------------------------------------------------------------------

// The classic template, DWORD-aligned: a caption, an edit that is a tab stop, a check box.
#define LOW(value) static_cast<WORD>((value)&0xFFFF)
#define HIGH(value) static_cast<WORD>(((value) >> 16) & 0xFFFF)
const DWORD DialogStyle = WS_POPUP | WS_CAPTION;
const DWORD EditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP;
const DWORD BoxStyle = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX;
const WORD DialogTemplate[] __attribute__((aligned(4))) = {
    LOW(DialogStyle), HIGH(DialogStyle), 0, 0, // style, extended style
    2, 10, 20, 100, 50,                        // controls; x, y, cx, cy
    0, 0, 'C', 'o', 'n', 'f', 0,               // no menu, the dialog's class, caption
    // The edit (class 0x81).
    LOW(EditStyle), HIGH(EditStyle), 0, 0, 4, 8, 40, 12, EditId, 0xFFFF, 0x0081, 0, 0,
    0, // to a DWORD boundary
    // The check box (class 0x80).
    LOW(BoxStyle), HIGH(BoxStyle), 0, 0, 4, 24, 40, 12, BoxId, 0xFFFF, 0x0080, 'B', 'o', 'x', 0, 0};

// The edit's text (described by what) read as a number, signed and unsigned.
void ReadNumber(HWND dialog, const WCHAR* what) {
    const BOOL signs[] = {TRUE, FALSE};
    for (int i = 0; i < 2; ++i) {
        BOOL translated = 2; // neither TRUE nor FALSE: a flag left unwritten shows
        const UINT value = GetDlgItemInt(dialog, EditId, &translated, signs[i]);
        Put(L"GetDlgItemInt of ");
        Put(what);
        Put(signs[i] ? L" signed " : L" unsigned ");
        if (signs[i]) {
            PutInt(static_cast<int>(value));
        } else {
            PutUnsigned(value);
        }
        Put(L" translated ");
        PutInt(translated);
        Send();
    }
}

void SetEdit(HWND dialog, const WCHAR* text, const WCHAR* quoted) {
    SetWindowTextW(GetDlgItem(dialog, EditId), text);
    ReadNumber(dialog, quoted);
}

BOOL CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        Put(L"init focus ");
        PutSame(reinterpret_cast<HWND>(wParam) == GetDlgItem(dialog, EditId));
        Put(L" param ");
        PutHex(static_cast<DWORD>(lParam));
        Send();
        SetEdit(dialog, L"-5", L"\"-5\"");
        SetEdit(dialog, L"4000000000", L"\"4000000000\"");
        SetDlgItemInt(dialog, EditId, static_cast<UINT>(-7), TRUE);
        ReadNumber(dialog, L"SetDlgItemInt's -7");
        SendDlgItemMessageW(dialog, BoxId, BM_SETCHECK, BST_CHECKED, 0);
        Put(L"check box ");
        PutInt(SendDlgItemMessageW(dialog, BoxId, BM_GETCHECK, 0, 0));
        Send();
        SHINITDLGINFO info;
        info.dwMask = SHIDIM_FLAGS;
        info.hDlg = dialog;
        info.dwFlags = SHIDIF_SIZEDLGFULLSCREEN;
        RECT rect = {0, 0, 0, 0};
        Put(L"full screen ");
        PutInt(SHInitDialog(&info));
        GetWindowRect(dialog, &rect);
        Put(L" dialog rect ");
        PutRect(rect);
        Send();
        EndDialog(dialog, DialogResult);
        return TRUE;
    }
    case WM_COMMAND:
        Put(L"command id ");
        PutInt(LOWORD(wParam));
        Put(L" code ");
        PutHex(HIWORD(wParam));
        Put(L" control ");
        PutSame(reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, LOWORD(wParam)));
        Send();
        return TRUE;
    default:
        return FALSE;
    }
}

// ---- The C library ---------------------------------------------------------------------------

void Copy(const WCHAR* source, size_t count) {
    WCHAR buffer[8];
    for (int i = 0; i < 8; ++i) {
        buffer[i] = L'*';
    }
    const WCHAR* answer = wcsncpy(buffer, source, count);
    Put(L"wcsncpy \"");
    Put(source);
    Put(L"\" ");
    PutUnsigned(count);
    Put(L":");
    for (int i = 0; i < 8; ++i) {
        Put(L" ");
        PutHex(buffer[i]);
    }
    Put(L" answers ");
    PutSame(answer == buffer);
    Send();
}

void Convert(const WCHAR* text, int base) {
    WCHAR* end = 0;
    const long value = wcstol(text, &end, base);
    Put(L"wcstol \"");
    Put(text);
    Put(L"\" base ");
    PutInt(base);
    Put(L": ");
    PutInt(value);
    Put(L" end ");
    PutInt(end - text);
    Send();
}

} // namespace

int WINAPI WinMain(HINSTANCE thisInstance, HINSTANCE, LPWSTR, int) {
    instance = thisInstance;

    SYSTEMTIME now;
    GetLocalTime(&now);
    Put(L"clock ");
    PutUnsigned(now.wYear);
    Put(L"-");
    PutUnsigned(now.wMonth);
    Put(L"-");
    PutUnsigned(now.wDay);
    Put(L" ");
    PutUnsigned(now.wHour);
    Put(L":");
    PutUnsigned(now.wMinute);
    Put(L":");
    PutUnsigned(now.wSecond);
    Put(L".");
    PutUnsigned(now.wMilliseconds);
    Put(L" weekday ");
    PutUnsigned(now.wDayOfWeek);
    Send();

    Copy(L"ab", 5);
    Copy(L"abcdef", 3);
    Convert(L"  -42x", 10);
    Convert(L"0x1F", 16);
    Convert(L"0x1F", 0);
    Convert(L"017", 0);
    Convert(L"3000000000", 10);
    Convert(L"-3000000000", 10);
    Convert(L"xyz", 10);

    CreateMutexW(0, FALSE, MutexName);
    Put(L"mutex opened again: ");
    PutInt(CreateMutexW(0, FALSE, MutexName) != 0);
    Put(L" error ");
    PutUnsigned(GetLastError());
    Send();
    const UINT registered = RegisterWindowMessageW(L"VelmotConformanceMessage");
    Put(L"registered message ");
    PutSame(registered == RegisterWindowMessageW(L"velmotconformancemessage"));
    Put(registered >= 0xC000 && registered <= 0xFFFF ? L" in range" : L" out of range");
    Send();

    Register(ClassName, WindowProc, ClassStyle, 4, 12);
    Register(RefusingClassName, RefusingProc, 0, 0, 0);
    const HWND window = CreateWindowExW(ExStyle, ClassName, Title, Style, 10, 20, 30, 40, 0, 0,
                                        instance, reinterpret_cast<LPVOID>(CreateParam));
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    Put(L"window rect ");
    PutRect(rect);
    Send();
    Put(L"found window ");
    PutSame(FindWindowW(ClassName, Title) == window);
    Send();

    const HWND refused =
        CreateWindowExW(0, RefusingClassName, Title, Style, 1, 2, 3, 4, 0, 0, instance, 0);
    Put(L"refusing window: ");
    Put(refused == 0 ? L"not created" : L"created");
    Send();

    PostMessageW(window, FirstPosted, 0x1234, -0x5678);
    PostMessageW(window, SecondPosted, 0x89ABCDEF, 0x7654321);
    Put(L"timer ");
    PutUnsigned(SetTimer(window, TimerId, TimerPeriod, 0));
    Send();
    DWORD at = 0;
    Retrieve(window, &at);
    Retrieve(window, &at);
    Retrieve(window, &at);
    Put(L"timer killed ");
    PutInt(KillTimer(window, TimerId));
    Send();

    const LRESULT result = SendMessageW(window, Sent, 0xFEDC, -2);
    Put(L"sent result ");
    PutInt(result);
    Send();

    const int dialogResult = DialogBoxIndirectParamW(
        instance, reinterpret_cast<LPCDLGTEMPLATE>(DialogTemplate), window, DialogProc, InitParam);
    Put(L"dialog result ");
    PutInt(dialogResult);
    Send();

    DestroyWindow(window);
    Put(L"window alive ");
    PutInt(IsWindow(window));
    Send();
    PostQuitMessage(3);
    Retrieve(window, &at);
    return 0;
}

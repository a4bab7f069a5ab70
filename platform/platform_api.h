// The device's interface: the core library (COREDLL) and the Pocket PC shell library
// (AYGSHELL), written from Microsoft's documentation of Windows CE. It holds the types,
// constants and operations that the program calls, and the few more that the emulator and the
// tests need to act on them (other mouse messages, menu item states, the control styles of the
// dialog template). Every name is the device's own, spelled and laid out as Windows CE declares
// it, and none is here that the device lacks.
//
// The device build compiles the program against this header alone (UNDER_CE), and the
// emulator implements it on the host, so a build that compiles on either is also a check
// that the program stays within the device's interface.
//
// Every function is declared with the library that exports it, COREDLL_API or AYGSHELL_API,
// with C linkage: the device's image writer (cmake/ce_image.py) reads those declarations to
// import each name the program calls from its library.
//
// Text is UTF-16: WCHAR holds one UTF-16 unit (the device build makes wchar_t 16 bits wide;
// it is wider on the host, but the program and the emulator only ever store 16-bit units in
// it). The message parameters and results are pointer-sized, so that the host can pass its
// 64-bit handles in them; on the device they are the 32 bits of the device's own.
#ifndef VELMOT_PLATFORM_PLATFORM_API_H
#define VELMOT_PLATFORM_PLATFORM_API_H

#include <stdint.h>
#include <stddef.h>

#define WINAPI
#define CALLBACK
#define COREDLL_API extern "C"
#define AYGSHELL_API extern "C"

#if defined(UNDER_CE)
// The C library's functions that COREDLL exports and the program calls.
COREDLL_API void* memset(void* destination, int value, size_t count);
COREDLL_API wchar_t* wcsncpy(wchar_t* destination, const wchar_t* source, size_t count);
COREDLL_API long wcstol(const wchar_t* text, wchar_t** end, int base);
#else
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#endif

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uint16_t ATOM;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef void* HANDLE;

#define DECLARE_HANDLE(name)                                                                       \
    struct name##__ {                                                                              \
        int unused;                                                                                \
    };                                                                                             \
    typedef struct name##__* name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HRSRC);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HCURSOR);
typedef HINSTANCE HMODULE;
typedef HANDLE HGLOBAL;

#define FALSE 0
#define TRUE 1

#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                             \
    ((LONG)(((WORD)(((ULONG_PTR)(a)) & 0xffff)) |                                                  \
            (((DWORD)((WORD)(((ULONG_PTR)(b)) & 0xffff))) << 16)))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

struct POINT {
    LONG x;
    LONG y;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// What the create message carries: the window as it is being created.
struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

// Kernel objects: the program creates them with default security (none on the device).
struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// The template's fixed header; the program only passes it on.
#pragma pack(push, 2)
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
};
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATE;

struct TPMPARAMS {
    UINT cbSize;
    RECT rcExclude;
};
typedef TPMPARAMS* LPTPMPARAMS;

// The notification-icon record of the device (its tooltip holds 64 units).
struct NOTIFYICONDATA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[64];
};
typedef NOTIFYICONDATA* PNOTIFYICONDATA;

// Shell library: dialog set-up and input panel.
struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
typedef SHINITDLGINFO* PSHINITDLGINFO;
typedef int SIPSTATE;
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SIP_UP 0
#define SIP_DOWN 1

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_HIBERNATE 0x03FF
#define WM_USER 0x0400

// Window and control styles.
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_TOPMOST 0x00000008L
#define DS_SETFONT 0x40L
#define BS_TYPEMASK 0x0FL
#define BS_AUTOCHECKBOX 0x03L
#define BS_RADIOBUTTON 0x04L
#define BS_AUTORADIOBUTTON 0x09L
#define ES_NUMBER 0x2000L
#define SS_CENTER 0x0001L
#define CW_USEDEFAULT ((int)0x80000000)

// Buttons and edits.
#define IDOK 1
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BN_CLICKED 0
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EM_LIMITTEXT 0x00C5

// Resources.
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define IMAGE_ICON 1

// Menus.
#define MF_STRING 0x0000
#define MF_GRAYED 0x0001
#define MF_DISABLED 0x0002
#define MF_SEPARATOR 0x0800
#define TPM_CENTERALIGN 0x0004
#define TPM_RIGHTALIGN 0x0008
#define TPM_VCENTERALIGN 0x0010
#define TPM_BOTTOMALIGN 0x0020

// Keyboard.
#define KEYEVENTF_KEYUP 0x0002
#define VK_OFF 0xDF

// Notification area.
#define NIM_ADD 0x00000000
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

// Errors.
#define ERROR_SUCCESS 0L
#define ERROR_ALREADY_EXISTS 183L

// Clock.
COREDLL_API void WINAPI GetLocalTime(SYSTEMTIME* time);

// Named mutexes and the last error.
COREDLL_API HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner,
                                       LPCWSTR name);
COREDLL_API DWORD WINAPI GetLastError(void);

// Windows and classes.
COREDLL_API ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass);
COREDLL_API HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName,
                                        DWORD style, int x, int y, int width, int height,
                                        HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
COREDLL_API BOOL WINAPI DestroyWindow(HWND window);
COREDLL_API BOOL WINAPI IsWindow(HWND window);
COREDLL_API HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName);
COREDLL_API LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
COREDLL_API BOOL WINAPI SetForegroundWindow(HWND window);
COREDLL_API BOOL WINAPI GetWindowRect(HWND window, RECT* rect);
COREDLL_API BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text);
COREDLL_API BOOL WINAPI EnableWindow(HWND window, BOOL enable);

// Messages.
COREDLL_API BOOL WINAPI GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
COREDLL_API BOOL WINAPI TranslateMessage(const MSG* msg);
COREDLL_API LRESULT WINAPI DispatchMessageW(const MSG* msg);
COREDLL_API LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
COREDLL_API BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
COREDLL_API void WINAPI PostQuitMessage(int exitCode);
COREDLL_API UINT WINAPI RegisterWindowMessageW(LPCWSTR name);

// Timers.
COREDLL_API UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
COREDLL_API BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// Resources.
COREDLL_API HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width,
                                     int height, UINT flags);
COREDLL_API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
COREDLL_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);

// Dialogs.
COREDLL_API int WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATE dialogTemplate,
                                               HWND owner, DLGPROC dialogProc, LPARAM initParam);
COREDLL_API BOOL WINAPI EndDialog(HWND dialog, int result);
COREDLL_API HWND WINAPI GetDlgItem(HWND dialog, int id);
COREDLL_API LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam,
                                               LPARAM lParam);
COREDLL_API BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
COREDLL_API UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);

// Menus.
COREDLL_API HMENU WINAPI CreatePopupMenu(void);
COREDLL_API BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text);
COREDLL_API BOOL WINAPI TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner,
                                         LPTPMPARAMS params);
COREDLL_API BOOL WINAPI DestroyMenu(HMENU menu);

// Keyboard input.
COREDLL_API void WINAPI keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, DWORD extraInfo);

// Notification area.
COREDLL_API BOOL WINAPI Shell_NotifyIcon(DWORD operation, PNOTIFYICONDATA data);

// Debugging: a text for the debugger, or the system's when the program has none.
COREDLL_API void WINAPI OutputDebugStringW(LPCWSTR text);

// Pocket PC shell library.
AYGSHELL_API BOOL WINAPI SHInitDialog(PSHINITDLGINFO info);
AYGSHELL_API BOOL WINAPI SHSipPreference(HWND window, SIPSTATE state);

// The program's entry, which the device's loader calls with WinMain's four arguments: defined
// by the program, not imported.
extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                              int showState);

#endif

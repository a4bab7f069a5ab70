// What desktop Windows lacks of the Pocket PC platform, for the program's desktop build.
//
// platform/platform.h includes this after <windows.h> and <shellapi.h>. It declares the few
// parts of the Pocket PC shell library (aygshell) that the program calls, with the device's
// names and values, and the device's power-off key, which the desktop keyboard does not
// have, with the desktop's sleep behind it: desktop/shell_library.cpp, desktop/power_key.cpp
// and desktop/sleep.cpp implement them. It also names where a desktop notification icon and
// its menu differ from the device's: desktop/tray_icon.cpp and desktop/tray_menu.cpp.
#ifndef VELMOT_DESKTOP_DESKTOP_PLATFORM_H
#define VELMOT_DESKTOP_DESKTOP_PLATFORM_H

// ---- Shell library: dialog set-up -------------------------------------------------------

// Which fields of SHINITDLGINFO are valid.
#define SHIDIM_FLAGS 0x0001

// What SHInitDialog does to the dialog.
#define SHIDIF_DONEBUTTON 0x0001        // a Done button that sends the dialog IDOK
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004 // the device's full-screen page: here a dialog window
#define SHIDIF_SIPDOWN 0x0008           // the input panel goes down

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

// Makes a dialog the desktop's equivalent of the device's own: call it from WM_INITDIALOG.
BOOL SHInitDialog(PSHINITDLGINFO info);

// ---- Shell library: input panel ---------------------------------------------------------

typedef enum tagSIPSTATE { SIP_UP = 0, SIP_DOWN = 1 } SIPSTATE;

// Asks for the on-screen input panel to be shown or hidden: the desktop has none.
BOOL SHSipPreference(HWND window, SIPSTATE state);

// ---- Core library -----------------------------------------------------------------------

// The device's power button as a virtual key.
#ifndef VK_OFF
#define VK_OFF 0xDF
#endif

// Sent when the device runs low on memory.
#ifndef WM_HIBERNATE
#define WM_HIBERNATE 0x03FF
#endif

// The program presses the power-off key to suspend the device. The desktop has no such
// key, so its key events go through DesktopKeyEvent, which puts the computer to sleep
// instead and passes every other key on.
void DesktopKeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo);
#define keybd_event DesktopKeyEvent

// ---- Libraries ---------------------------------------------------------------------------

// Makes every later load of a DLL search the system folder alone, neither the program's own
// folder nor the current one (desktop/dll_search.cpp). Call it first, when the process starts.
void DesktopRestrictDllSearch();

// Loads the named DLL (for example L"powrprof.dll") from the system folder, by its full path;
// answers null, with the reason in GetLastError, when it cannot.
HMODULE DesktopLoadSystemLibrary(const wchar_t* name);

// ---- Sleep ------------------------------------------------------------------------------

// Puts the computer to sleep: Modern Standby by turning the display off, or an S1-S3 sleep
// state, from which it returns when the computer wakes; never hibernation. A computer that
// cannot sleep is left alone and the failure is remembered.
void DesktopSleep();

// Whether a sleep failed.
int DesktopSleepFailed();

// Tells the user that the computer could not be put to sleep, and why, in a message box
// that stays until dismissed. Call it only once the main window is gone: while it exists,
// its check timer or a queued menu command would start another suspension.
void ReportSleepFailure();

// ---- Notification icon and its menu ----------------------------------------------------

// The device's notification area shows its icon at 16 x 16 pixels, the size at which the
// program loads it. A desktop's shows icons at the small-icon size of its scale (16 pixels at
// 100 %, 24 at 150 %, 32 at 200 %), so the program's image loads go through DesktopLoadImage,
// which gives the notification icon the desktop's own icon group at that size and passes
// every other load on. The program still loads the icon once, when it starts, and keeps it.
HANDLE DesktopLoadImage(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height,
                        UINT flags);
#define LoadImageW DesktopLoadImage

// A desktop notification icon opens its menu on a click of either button.
#define IS_TRAY_MENU_CLICK(mouseMessage)                                                           \
    ((mouseMessage) == WM_LBUTTONUP || (mouseMessage) == WM_RBUTTONUP)

// The device opens the icon's menu at a fixed corner of the screen, where its notification
// area is; the desktop's icon can be anywhere, so its menu opens where the user clicked (the
// cursor), with the same flags. The program's TrackPopupMenuEx calls go through this.
BOOL DesktopTrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params);
#define TrackPopupMenuEx DesktopTrackPopupMenuEx

#endif

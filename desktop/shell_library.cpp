// The desktop's version of the Pocket PC shell library calls that the program makes.
//
// On the device, SHInitDialog turns a dialog into a full-screen page with Done in its title
// bar. The desktop's equivalent is an ordinary dialog window: a title bar without a close box
// (there is no Cancel), the desktop's message font, the controls where the template puts them
// but measured in that font, Done as the default push button at the bottom right, and the
// window sized to all that and centred on its monitor's work area. The template stays the
// device's; the window is adapted here, while it opens.
#include "platform/platform.h"

// The desktop's measures, in dialog units of the message font: the margin around the
// controls, the space above the row of the Done button, and the size of a push button.
#define MARGIN 7
#define DONE_GAP 7
#define DONE_WIDTH 50
#define DONE_HEIGHT 14

// The font the desktop uses for the text of message boxes and dialogs, made when the first
// dialog opens and kept for the process's life.
static HFONT messageFont = NULL;

// value * to / from, rounded; for the positive lengths here.
static int Scale(int value, int to, int from) {
    return (value * to + from / 2) / from;
}

// Measures font as the dialog manager measures a template's font, and writes its base units
// into units (right: pixels per 4 horizontal dialog units, that is the average width of the
// 52 letters; bottom: per 8 vertical ones, the font's height). Leaves units as they are when
// the font cannot be measured.
static void MeasureFont(HWND dialog, HFONT font, RECT* units) {
    HDC context = GetDC(dialog);
    if (context == NULL) {
        return;
    }
    HGDIOBJ previous = SelectObject(context, font);
    WCHAR letters[52];
    for (int i = 0; i < 26; ++i) {
        letters[i] = static_cast<WCHAR>(L'A' + i);
        letters[26 + i] = static_cast<WCHAR>(L'a' + i);
    }
    TEXTMETRICW metrics;
    SIZE extent;
    if (GetTextMetricsW(context, &metrics) &&
        GetTextExtentPoint32W(context, letters, 52, &extent) && extent.cx > 0 &&
        metrics.tmHeight > 0) {
        SetRect(units, 0, 0, (extent.cx / 26 + 1) / 2, metrics.tmHeight);
    }
    SelectObject(context, previous);
    ReleaseDC(dialog, context);
}

// Makes the page a dialog window: a caption without the system menu, so without a close box,
// and a client area of the given size, centred on the work area of the monitor it is on.
// The frame's size is read back from the window once it has its caption, so that it is the
// one the system draws.
static void MakeWindow(HWND dialog, int clientWidth, int clientHeight) {
    const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
    SetWindowLongPtrW(dialog, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_SYSMENU)) | WS_CAPTION);
    SetWindowLongPtrW(dialog, GWL_EXSTYLE,
                      GetWindowLongPtrW(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
    SetWindowPos(dialog, NULL, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    RECT frame;
    RECT client;
    GetWindowRect(dialog, &frame);
    GetClientRect(dialog, &client);
    const int width = clientWidth + (frame.right - frame.left) - client.right;
    const int height = clientHeight + (frame.bottom - frame.top) - client.bottom;

    MONITORINFO monitor;
    memset(&monitor, 0, sizeof(monitor));
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT area = monitor.rcWork;
    SetWindowPos(dialog, NULL, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL SHInitDialog(PSHINITDLGINFO info) {
    if (info == NULL || !(info->dwMask & SHIDIM_FLAGS) || !IsWindow(info->hDlg)) {
        return FALSE;
    }
    HWND dialog = info->hDlg;
    if (messageFont == NULL) {
        NONCLIENTMETRICSW metrics;
        memset(&metrics, 0, sizeof(metrics));
        metrics.cbSize = sizeof(metrics);
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
            messageFont = CreateFontIndirectW(&metrics.lfMessageFont);
        }
    }
    // The template font's base units, with which the dialog manager placed the controls, and
    // the message font's; without the message font the dialog keeps the template's.
    RECT from;
    SetRect(&from, 0, 0, 4, 8);
    MapDialogRect(dialog, &from);
    if (from.right <= 0 || from.bottom <= 0) {
        return FALSE;
    }
    RECT to = from;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (messageFont != NULL) {
        font = messageFont;
        MeasureFont(dialog, font, &to);
    }

    // The controls keep the places that the template gives them, measured in the message
    // font's units instead of the template font's, and move to begin at the margin.
    RECT bounds;
    RECT rect;
    SetRectEmpty(&bounds);
    for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL;
         control = GetWindow(control, GW_HWNDNEXT)) {
        GetWindowRect(control, &rect);
        UnionRect(&bounds, &bounds, &rect);
    }
    const int marginX = Scale(MARGIN, to.right, 4);
    const int marginY = Scale(MARGIN, to.bottom, 8);
    for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL;
         control = GetWindow(control, GW_HWNDNEXT)) {
        GetWindowRect(control, &rect);
        SetWindowPos(control, NULL, marginX + Scale(rect.left - bounds.left, to.right, from.right),
                     marginY + Scale(rect.top - bounds.top, to.bottom, from.bottom),
                     Scale(rect.right - rect.left, to.right, from.right),
                     Scale(rect.bottom - rect.top, to.bottom, from.bottom),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    int width = Scale(bounds.right - bounds.left, to.right, from.right);
    int height = Scale(bounds.bottom - bounds.top, to.bottom, from.bottom);
    if (info->dwFlags & SHIDIF_DONEBUTTON) {
        // The device shows Done in the dialog's title bar; here it is the default push
        // button, below the controls at their right edge. Its id is IDOK, so a click, or
        // Enter anywhere in the dialog, sends the dialog the same command as the device's.
        const int doneWidth = Scale(DONE_WIDTH, to.right, 4);
        const int doneHeight = Scale(DONE_HEIGHT, to.bottom, 8);
        const int gap = Scale(DONE_GAP, to.bottom, 8);
        width = width > doneWidth ? width : doneWidth;
        HWND done = CreateWindowExW(
            0, L"Button", L"Done", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
            marginX + width - doneWidth, marginY + height + gap, doneWidth, doneHeight, dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)),
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), NULL);
        SendMessageW(done, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
        height += gap + doneHeight;
    }
    if (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN) {
        MakeWindow(dialog, marginX + width + marginX, marginY + height + marginY);
        // A notification-area program opens its windows while another program is in the
        // foreground; without this the dialog would open behind that program's window.
        SetForegroundWindow(dialog);
    }
    // SHIDIF_SIPDOWN: the desktop has no input panel to put down.
    return TRUE;
}

BOOL SHSipPreference(HWND window, SIPSTATE state) {
    // The desktop has no input panel; its keyboard is always there.
    (void)window;
    (void)state;
    return TRUE;
}

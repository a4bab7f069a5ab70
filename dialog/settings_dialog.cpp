#include "dialog/settings_dialog.h"

#include "resources/resource.h"
#include "schedule/schedule.h"

static int IsChecked(HWND dialog, int id) {
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Reads an edit as an unsigned number (0 when empty or unreadable). Numbers beyond the
// 32-bit signed range are held at its top, so a huge entry never turns negative.
static int ReadNumber(HWND dialog, int id) {
    return HoldToSignedRange(GetDlgItemInt(dialog, id, NULL, FALSE));
}

// Nine digits always read back as a number, and below the 32-bit signed limit; a longer
// entry would read as 0 and could turn a huge wait into an immediate suspension.
#define NUMBER_DIGITS 9

static void ShowNumber(HWND dialog, int id, int value) {
    SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, NUMBER_DIGITS, 0);
    SetDlgItemInt(dialog, id, static_cast<UINT>(value), FALSE);
}

static void Initialise(HWND dialog) {
    SHINITDLGINFO info;
    memset(&info, 0, sizeof(info));
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialog;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&info);
    SetWindowTextW(dialog, L"Set");

    if (SuspendSchedule.mode == AtTime) {
        SendDlgItemMessageW(dialog, IDC_TIME_RADIO, BM_SETCHECK, BST_CHECKED, 0);
    } else {
        SendDlgItemMessageW(dialog, IDC_WAIT_RADIO, BM_SETCHECK, BST_CHECKED, 0);
        // During a countdown the dialog shows the time left, not the period first entered.
        SuspendSchedule.waitHours = SuspendSchedule.remainingMinutes / 60;
        SuspendSchedule.waitMinutes = SuspendSchedule.remainingMinutes % 60;
    }
    ShowNumber(dialog, IDC_TIME_HOUR, SuspendSchedule.targetHour);
    ShowNumber(dialog, IDC_TIME_MINUTE, SuspendSchedule.targetMinute);
    ShowNumber(dialog, IDC_WAIT_HOURS, SuspendSchedule.waitHours);
    ShowNumber(dialog, IDC_WAIT_MINUTES, SuspendSchedule.waitMinutes);
    SendMessageW(dialog, WM_COMMAND, IDC_TIME_RADIO, 0);
}

static void EnableByMode(HWND dialog) {
    const BOOL time = IsChecked(dialog, IDC_TIME_RADIO);
    EnableWindow(GetDlgItem(dialog, IDC_TIME_HOUR), time);
    EnableWindow(GetDlgItem(dialog, IDC_TIME_MINUTE), time);
    EnableWindow(GetDlgItem(dialog, IDC_WAIT_HOURS), !time);
    EnableWindow(GetDlgItem(dialog, IDC_WAIT_MINUTES), !time);
}

static void Confirm(HWND dialog) {
    if (IsChecked(dialog, IDC_TIME_RADIO)) {
        SuspendSchedule.mode = AtTime;
    } else if (IsChecked(dialog, IDC_WAIT_RADIO)) {
        SuspendSchedule.mode = AfterWait;
    }
    // Both pairs are read whatever the mode: the disabled pair keeps what it shows.
    SuspendSchedule.targetHour = ReadNumber(dialog, IDC_TIME_HOUR);
    SuspendSchedule.targetMinute = ReadNumber(dialog, IDC_TIME_MINUTE);
    SuspendSchedule.waitHours = ReadNumber(dialog, IDC_WAIT_HOURS);
    SuspendSchedule.waitMinutes = ReadNumber(dialog, IDC_WAIT_MINUTES);
    SuspendSchedule.remainingMinutes =
        WaitPeriodMinutes(SuspendSchedule.waitHours, SuspendSchedule.waitMinutes);
    SHSipPreference(dialog, SIP_DOWN);
    EndDialog(dialog, 1);
}

static void EditFocus(HWND dialog, WORD notification) {
    if (notification == EN_SETFOCUS) {
        SHSipPreference(dialog, SIP_UP);
    } else if (notification == EN_KILLFOCUS) {
        SHSipPreference(dialog, SIP_DOWN);
    }
}

static void Command(HWND dialog, WORD id, WORD notification) {
    switch (id) {
    case IDOK:
        Confirm(dialog);
        break;
    case IDC_TIME_RADIO:
    case IDC_WAIT_RADIO:
        EnableByMode(dialog);
        break;
    case IDC_TIME_MINUTE:
    case IDC_TIME_HOUR:
    case IDC_WAIT_MINUTES:
    case IDC_WAIT_HOURS:
        EditFocus(dialog, notification);
        break;
    default:
        break;
    }
}

DIALOG_RESULT CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        Initialise(dialog);
        return TRUE;
    case WM_COMMAND:
        Command(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

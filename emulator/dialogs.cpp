// The emulated core library: modal dialogs built from their templates, and the controls in
// them (automatic radio buttons, digits-only edits, labels), with the user's actions on them.
#include "emulator/internal.h"

#include <cstring>
#include <cwctype>

namespace emu::detail {

// Reads a dialog template (the classic layout, not the extended one).
class TemplateReader {
  public:
    explicit TemplateReader(const unsigned char* base) : base_(base) {}

    WORD Word() {
        WORD value;
        std::memcpy(&value, base_ + offset_, sizeof(value));
        offset_ += sizeof(value);
        return value;
    }
    DWORD Dword() {
        DWORD value;
        std::memcpy(&value, base_ + offset_, sizeof(value));
        offset_ += sizeof(value);
        return value;
    }
    short Short() {
        return static_cast<short>(Word());
    }
    std::wstring String() {
        std::wstring text;
        for (WORD unit = Word(); unit != 0; unit = Word()) {
            text += static_cast<wchar_t>(unit);
        }
        return text;
    }
    // A name or an ordinal: 0xFFFF then the number, or a string (empty for none).
    std::wstring NameOrOrdinal(int* ordinal) {
        *ordinal = -1;
        WORD first;
        std::memcpy(&first, base_ + offset_, sizeof(first));
        if (first == 0xFFFF) {
            offset_ += 2;
            *ordinal = Word();
            return L"";
        }
        return String();
    }
    void AlignDword() {
        offset_ = (offset_ + 3) & ~static_cast<size_t>(3);
    }
    void Skip(size_t bytes) {
        offset_ += bytes;
    }

  private:
    const unsigned char* base_;
    size_t offset_ = 0;
};

static Kind ControlKind(const std::wstring& className, int atom) {
    std::wstring lower;
    for (wchar_t unit : className) {
        lower += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(unit)));
    }
    if (atom == 0x80 || lower == L"button") {
        return Kind::Button;
    }
    if (atom == 0x81 || lower == L"edit") {
        return Kind::Edit;
    }
    if (atom == 0x82 || lower == L"static") {
        return Kind::Static;
    }
    throw Failure("dialog template: control class \"" + Narrow(className) + "\" (" +
                  std::to_string(atom) + ") is not emulated");
}

static const wchar_t* KindName(Kind kind) {
    switch (kind) {
    case Kind::Button:
        return L"Button";
    case Kind::Edit:
        return L"Edit";
    default:
        return L"Static";
    }
}

static RECT Pixels(int x, int y, int cx, int cy) {
    return {x * BaseUnitWidth / 4, y * BaseUnitHeight / 8, (x + cx) * BaseUnitWidth / 4,
            (y + cy) * BaseUnitHeight / 8};
}

static HWND BuildDialog(const unsigned char* base, HWND owner, DLGPROC proc, HINSTANCE instance) {
    TemplateReader reader(base);
    auto dialog = std::make_unique<Window>();
    dialog->kind = Kind::Dialog;
    dialog->className = L"Dialog";
    dialog->style = reader.Dword();
    dialog->exStyle = reader.Dword();
    if ((dialog->style & 0xFFFF0000u) == 0xFFFF0000u) {
        throw Failure("dialog template: the extended layout is not emulated");
    }
    const int count = reader.Word();
    dialog->tx = reader.Short();
    dialog->ty = reader.Short();
    dialog->tcx = reader.Short();
    dialog->tcy = reader.Short();
    int ordinal = 0;
    if (!reader.NameOrOrdinal(&ordinal).empty() || ordinal != -1) {
        throw Failure("dialog template: menus are not emulated");
    }
    reader.NameOrOrdinal(&ordinal); // window class: the dialog's own
    dialog->title = reader.String();
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = reader.Word();
        dialog->font = reader.String();
    }
    dialog->owner = owner;
    dialog->instance = instance;
    dialog->dialogProc = proc;
    const RECT frame = Pixels(dialog->tx, dialog->ty, dialog->tcx, dialog->tcy);
    dialog->rect = frame;
    HWND handle = NewWindow(std::move(dialog));

    for (int i = 0; i < count; ++i) {
        reader.AlignDword();
        auto control = std::make_unique<Window>();
        control->style = reader.Dword();
        control->exStyle = reader.Dword();
        const int x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
        control->id = static_cast<short>(reader.Word());
        int atom = -1;
        const std::wstring className = reader.NameOrOrdinal(&atom);
        control->kind = ControlKind(className, atom);
        control->className = KindName(control->kind);
        int textOrdinal = -1;
        control->title = reader.NameOrOrdinal(&textOrdinal);
        reader.Skip(reader.Word()); // creation data
        control->parent = handle;
        control->instance = instance;
        control->enabled = (control->style & WS_DISABLED) == 0;
        control->tx = x;
        control->ty = y;
        control->tcx = cx;
        control->tcy = cy;
        control->rect = Pixels(x, y, cx, cy); // relative to the dialog
        HWND child = NewWindow(std::move(control));
        Require(handle, "dialog").children.push_back(child);
    }
    return handle;
}

static Window& Control(HWND handle) {
    return *S().windows.at(reinterpret_cast<uintptr_t>(handle));
}

static bool IsAutoRadio(const Window& control) {
    return control.kind == Kind::Button && (control.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}

static std::string DescribeDialog(const Window& dialog) {
    std::string text = "\"" + Narrow(dialog.title) + "\":";
    for (HWND handle : dialog.children) {
        const Window& control = Control(handle);
        if (!control.alive) {
            continue;
        }
        text += " ";
        switch (control.kind) {
        case Kind::Button:
            text += std::string(control.checked ? "(o) " : "( ) ") + Narrow(control.title);
            break;
        case Kind::Edit:
            text += "[" + Narrow(control.title) + "]";
            break;
        default:
            text += Narrow(control.title);
            break;
        }
        if (!control.enabled) {
            text += "(off)";
        }
    }
    return text;
}

void SetFocusTo(Window& dialog, HWND control) {
    const HWND old = dialog.focus;
    if (old == control) {
        return;
    }
    dialog.focus = control;
    const HWND dialogHandle = dialog.handle;
    if (old != nullptr && Find(old) != nullptr && Control(old).kind == Kind::Edit) {
        Call(dialogHandle, WM_COMMAND, MAKEWPARAM(Control(old).id, EN_KILLFOCUS),
             reinterpret_cast<LPARAM>(old));
    }
    if (control != nullptr && Find(control) != nullptr && Control(control).kind == Kind::Edit) {
        Call(dialogHandle, WM_COMMAND, MAKEWPARAM(Control(control).id, EN_SETFOCUS),
             reinterpret_cast<LPARAM>(control));
    }
}

static HWND FirstTabStop(const Window& dialog) {
    for (HWND handle : dialog.children) {
        const Window& control = Control(handle);
        if (control.alive && control.enabled && (control.style & WS_VISIBLE) &&
            (control.style & WS_TABSTOP)) {
            return handle;
        }
    }
    return nullptr;
}

LRESULT DialogWindowProc(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return dialog.dialogProc(dialog.handle, message, wParam, lParam);
}

LRESULT ControlWindowProc(Window& control, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    if (control.kind == Kind::Button) {
        switch (message) {
        case BM_GETCHECK:
            return control.checked ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            control.checked = wParam == BST_CHECKED;
            return 0;
        default:
            break;
        }
    }
    if (control.kind == Kind::Edit && message == EM_LIMITTEXT) {
        // Limits typing only; text set by the program may be longer.
        control.textLimit = wParam != 0 ? static_cast<size_t>(wParam) : 0x7FFFFFFE;
        return 0;
    }
    return 0;
}

Window& OpenDialog(const char* action) {
    for (auto it = S().dialogs.rbegin(); it != S().dialogs.rend(); ++it) {
        if (Window* dialog = Find(*it)) {
            return *dialog;
        }
    }
    throw Failure(std::string(action) + ": no dialog is open at " + FormatTime(S().now));
}

static Window& DialogControl(Window& dialog, int id, const char* action) {
    HWND handle = GetDlgItem(dialog.handle, id);
    if (handle == nullptr) {
        throw Failure(std::string(action) + ": the dialog has no control " + std::to_string(id));
    }
    return Control(handle);
}

// A finger on a control: refused when it is disabled. An action meant for one kind of
// control (Kind::Window stands for any) fails loudly on another.
static Window* Touch(int id, const char* action, Kind required = Kind::Window) {
    Window& dialog = OpenDialog(action);
    Window& control = DialogControl(dialog, id, action);
    if (required != Kind::Window && control.kind != required) {
        throw Failure(std::string(action) + ": control " + std::to_string(id) + " is no " +
                      Narrow(KindName(required)));
    }
    if (!control.enabled) {
        Note("  refused: control " + std::to_string(id) + " is disabled");
        return nullptr;
    }
    SetFocusTo(dialog, control.handle);
    return Find(control.handle);
}

static void Changed(Window& edit) {
    Call(edit.parent, WM_COMMAND, MAKEWPARAM(edit.id, EN_CHANGE),
         reinterpret_cast<LPARAM>(edit.handle));
}

} // namespace emu::detail

using namespace emu;
using namespace emu::detail;

int WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATE dialogTemplate, HWND owner,
                                   DLGPROC dialogProc, LPARAM initParam) {
    if (dialogTemplate == nullptr || dialogProc == nullptr ||
        (owner != nullptr && Find(owner) == nullptr)) {
        return -1;
    }
    HWND handle = BuildDialog(reinterpret_cast<const unsigned char*>(dialogTemplate), owner,
                              dialogProc, instance);
    S().dialogs.push_back(handle);
    // A modal dialog is shown whatever its template's style says.
    Require(handle, "dialog").visible = true;
    struct Pop {
        ~Pop() {
            S().dialogs.pop_back();
        }
    } pop;

    // The procedure chooses the focus unless it answers FALSE; the first enabled
    // tab stop gets it.
    if (Call(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(Control(handle))),
             initParam) != FALSE &&
        Find(handle) != nullptr) {
        SetFocusTo(Control(handle), FirstTabStop(Control(handle)));
    }
    // The owner takes no input while its dialog is open.
    const bool ownerWasEnabled = owner != nullptr && Find(owner)->enabled;
    if (ownerWasEnabled) {
        EnableWindow(owner, FALSE);
    }
    if (Window* dialog = Find(handle)) {
        Note("dialog opened " + DescribeDialog(*dialog));
    }

    int result = 0;
    for (;;) {
        Window* dialog = Find(handle);
        if (dialog == nullptr) {
            result = 0; // destroyed, with its owner or otherwise
            break;
        }
        if (dialog->ended) {
            result = dialog->result;
            break;
        }
        MSG msg;
        const Next next = NextMessage(&msg, [handle] {
            const Window* open = Find(handle);
            return open == nullptr || open->ended;
        });
        if (next == Next::Quit) {
            // The quit message ends the dialog and stays for the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            result = Find(handle) != nullptr ? Find(handle)->result : 0;
            break;
        }
        if (next == Next::Message) {
            DispatchMessageW(&msg);
        }
    }
    if (ownerWasEnabled && Find(owner) != nullptr) {
        EnableWindow(owner, TRUE);
    }
    if (Window* dialog = Find(handle)) {
        Note("dialog closed (" + std::to_string(result) + ") " + DescribeDialog(*dialog));
        DestroyWindow(handle);
    }
    return result;
}

BOOL WINAPI EndDialog(HWND handle, int result) {
    Window* dialog = Find(handle);
    if (dialog == nullptr || dialog->kind != Kind::Dialog) {
        return FALSE;
    }
    dialog->ended = true;
    dialog->result = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND handle, int id) {
    Window* dialog = Find(handle);
    if (dialog == nullptr) {
        return nullptr;
    }
    for (HWND child : dialog->children) {
        const Window& control = Control(child);
        if (control.alive && static_cast<WORD>(control.id) == static_cast<WORD>(id)) {
            return child;
        }
    }
    return nullptr;
}

LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessageW(control, message, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    const std::wstring text =
        isSigned ? std::to_wstring(static_cast<int>(value)) : std::to_wstring(value);
    return SetWindowTextW(control, text.c_str());
}

UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated != nullptr) {
        *translated = FALSE;
    }
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return 0;
    }
    // Leading spaces are skipped, then a minus sign when the reading is signed, then decimal
    // digits are read up to the first other character; no digits, or a number beyond the
    // range (32 bits unsigned, INT_MIN to INT_MAX signed), gives 0.
    const std::wstring& text = Control(control).title;
    size_t at = 0;
    while (at < text.size() && text[at] == L' ') {
        ++at;
    }
    const bool negative = isSigned && at < text.size() && text[at] == L'-';
    at += negative ? 1 : 0;
    const unsigned long long limit = !isSigned  ? 0xFFFFFFFFull
                                     : negative ? 0x80000000ull
                                                : 0x7FFFFFFFull;
    unsigned long long value = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at, ++digits) {
        value = value * 10 + static_cast<unsigned>(text[at] - L'0');
        if (value > limit) {
            return 0;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (translated != nullptr) {
        *translated = TRUE;
    }
    return static_cast<UINT>(negative ? 0 - value : value);
}

BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (info == nullptr || (info->dwMask & SHIDIM_FLAGS) == 0) {
        return FALSE;
    }
    Window* dialog = Find(info->hDlg);
    if (dialog == nullptr || dialog->kind != Kind::Dialog) {
        return FALSE;
    }
    dialog->shellFlags = info->dwFlags;
    std::string what;
    if (info->dwFlags & SHIDIF_DONEBUTTON) {
        what += " Done button,";
    }
    if (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN) {
        dialog->rect = {0, NavigationBarHeight, ScreenWidth(), ScreenHeight()};
        what += " full screen,";
    }
    Note("dialog set up:" + what + " flags " + Hex(info->dwFlags));
    if (info->dwFlags & SHIDIF_SIPDOWN) {
        SHSipPreference(info->hDlg, SIP_DOWN);
    }
    return TRUE;
}

BOOL WINAPI SHSipPreference(HWND window, SIPSTATE state) {
    if (Find(window) == nullptr) {
        return FALSE;
    }
    if (state != SIP_UP && state != SIP_DOWN) {
        return TRUE;
    }
    State& device = S();
    if (state == SIP_UP) {
        device.inputPanelDownAt = -1; // a lowering still to come is cancelled
        if (!device.inputPanelUp) {
            device.inputPanelUp = true;
            Note("input panel up");
        }
    } else if (device.inputPanelUp && device.inputPanelDownAt < 0) {
        device.inputPanelDownAt = device.now + InputPanelDownDelay;
    }
    return TRUE;
}

namespace emu::detail {

bool LowerInputPanelWhenDue() {
    State& device = S();
    if (device.inputPanelDownAt < 0 || device.inputPanelDownAt > device.now) {
        return false;
    }
    device.inputPanelDownAt = -1;
    device.inputPanelUp = false;
    Note("input panel down");
    return true;
}

} // namespace emu::detail

namespace emu::detail {

void FocusNow(int controlId) {
    Touch(controlId, "Focus");
}

void TypeNow(int controlId, const std::wstring& text) {
    Window* edit = Touch(controlId, "Type", Kind::Edit);
    if (edit == nullptr) {
        return;
    }
    const HWND handle = edit->handle;
    for (wchar_t unit : text) {
        Window* current = Find(handle);
        if (current == nullptr) {
            return;
        }
        if ((current->style & ES_NUMBER) && (unit < L'0' || unit > L'9')) {
            Note("  refused: \"" + Narrow(std::wstring(1, unit)) + "\" in a digits-only field");
            continue;
        }
        if (current->title.size() >= current->textLimit) {
            Note("  refused: \"" + Narrow(std::wstring(1, unit)) + "\", the field is full");
            continue;
        }
        current->title += unit;
        Changed(*current);
    }
}

void BackspaceNow(int controlId) {
    Window* edit = Touch(controlId, "Backspace", Kind::Edit);
    if (edit == nullptr || edit->title.empty()) {
        return;
    }
    edit->title.pop_back();
    Changed(*edit);
}

void ClickRadioNow(int controlId) {
    Window* button = Touch(controlId, "ClickRadio", Kind::Button);
    if (button == nullptr) {
        return;
    }
    Window& dialog = Require(button->parent, "ClickRadio");
    if (IsAutoRadio(*button)) {
        // The group runs from the nearest group start at or before the button to the next
        // group start after it; the first control always starts one.
        const std::vector<HWND>& children = dialog.children;
        size_t at = 0;
        while (children[at] != button->handle) {
            ++at;
        }
        size_t first = at;
        while (first > 0 && !(Control(children[first]).style & WS_GROUP)) {
            --first;
        }
        size_t end = at + 1;
        while (end < children.size() && !(Control(children[end]).style & WS_GROUP)) {
            ++end;
        }
        for (size_t i = first; i < end; ++i) {
            Window& other = Control(children[i]);
            if (IsAutoRadio(other)) {
                other.checked = other.handle == button->handle;
            }
        }
    }
    Call(dialog.handle, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED),
         reinterpret_cast<LPARAM>(button->handle));
}

void PressDoneNow() {
    Window& dialog = OpenDialog("PressDone");
    if (!(dialog.shellFlags & SHIDIF_DONEBUTTON)) {
        throw Failure("PressDone: the dialog has no Done button");
    }
    Call(dialog.handle, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

} // namespace emu::detail

namespace emu {

void Focus(Millis when, int controlId) {
    Script(when, "user taps control " + std::to_string(controlId),
           [controlId] { FocusNow(controlId); });
}

void Type(Millis when, int controlId, const std::wstring& text) {
    Script(when, "user types \"" + Narrow(text) + "\" into " + std::to_string(controlId),
           [controlId, text] { TypeNow(controlId, text); });
}

void Clear(Millis when, int controlId) {
    Script(when, "user clears " + std::to_string(controlId), [controlId] {
        Window* edit = Touch(controlId, "Clear", Kind::Edit);
        if (edit == nullptr) {
            return;
        }
        edit->title.clear();
        Changed(*edit);
    });
}

void Backspace(Millis when, int controlId) {
    Script(when, "user erases a character of " + std::to_string(controlId),
           [controlId] { BackspaceNow(controlId); });
}

void ClickRadio(Millis when, int controlId) {
    Script(when, "user taps button " + std::to_string(controlId),
           [controlId] { ClickRadioNow(controlId); });
}

void PressDone(Millis when) {
    Script(when, "user taps Done", [] { PressDoneNow(); });
}

} // namespace emu

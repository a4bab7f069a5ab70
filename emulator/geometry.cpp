// Where the emulated device shows what a person taps, and a tap of the pen at a pixel.
#include "emulator/internal.h"

#include <functional>
#include <optional>

namespace emu::detail {

namespace {

constexpr int KeyRowHeight = InputPanelHeight / 4;
constexpr int KeyWidth = KeyboardWidth / 12;
constexpr int DoneButtonWidth = 26;
constexpr int InputPanelButtonWidth = 28;
constexpr int IconSize = 16;

bool Inside(const RECT& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

std::string At(int x, int y) {
    return std::to_string(x) + "," + std::to_string(y);
}

// A row of one-letter keys from x, each typing its letter.
void LetterRow(std::vector<PanelKey>& keys, const wchar_t* letters, int x, int top) {
    for (; *letters != 0; ++letters, x += KeyWidth) {
        keys.push_back(
            {{x, top, x + KeyWidth, top + KeyRowHeight}, std::wstring(1, *letters), *letters});
    }
}

// The keyboard at its place on the screen.
std::vector<PanelKey> Keyboard() {
    const int left = (ScreenWidth() - KeyboardWidth) / 2;
    const int top = MenuBarTop() - InputPanelHeight;
    const int w = KeyWidth, h = KeyRowHeight;
    std::vector<PanelKey> keys;
    LetterRow(keys, L"1234567890", left, top);
    keys.push_back({{left + 10 * w, top, left + KeyboardWidth, top + h}, L"\u2190", L'\b'});
    LetterRow(keys, L"qwertyuiop-=", left, top + h);
    LetterRow(keys, L"asdfghjkl", left + w / 2, top + 2 * h);
    keys.push_back(
        {{left + w / 2 + 9 * w, top + 2 * h, left + KeyboardWidth, top + 3 * h}, L"\u21B5", 0});
    keys.push_back({{left, top + 3 * h, left + 2 * w, top + 4 * h}, L"Shift", 0});
    LetterRow(keys, L"zxcvbnm", left + 2 * w, top + 3 * h);
    keys.push_back({{left + 9 * w, top + 3 * h, left + KeyboardWidth, top + 4 * h}, L"", L' '});
    return keys;
}

// The focused edit of the open dialog, if any.
const ControlView* FocusedEdit(const DialogView& dialog) {
    for (const ControlView& control : dialog.controls) {
        if (control.focused && control.className == L"Edit") {
            return &control;
        }
    }
    return nullptr;
}

std::optional<DialogView> DialogInFront() {
    for (auto it = S().dialogs.rbegin(); it != S().dialogs.rend(); ++it) {
        if (Find(*it) != nullptr) {
            return CurrentDialog();
        }
    }
    return std::nullopt;
}

// What a tap at x,y reaches: its name for the timeline, and what it does.
struct Reach {
    std::string what;
    std::function<void()> act;
};

Reach Reached(int x, int y) {
    if (const std::optional<MenuView> menu = OpenPopupMenu()) {
        for (size_t i = 0; i < menu->items.size(); ++i) {
            const MenuItemView& item = menu->items[i];
            if (!Inside(MenuItemRect(*menu, i), x, y)) {
                continue;
            }
            if ((item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)) != 0) {
                return {"a menu line that cannot be chosen", nullptr};
            }
            const UINT id = static_cast<UINT>(item.id);
            return {"menu item " + std::to_string(id), [id] { ChooseMenuItemNow(id); }};
        }
        return {"outside the menu", [] { DismissMenuNow(); }};
    }
    if (Inside(DoneButtonRect(), x, y)) {
        return {"ok", [] { PressDoneNow(); }};
    }
    if (Inside(InputPanelButtonRect(), x, y)) {
        return {"the input panel's button", nullptr};
    }
    const std::optional<DialogView> dialog = DialogInFront();
    for (const PanelKey& key : InputPanelKeys()) {
        if (!Inside(key.rect, x, y)) {
            continue;
        }
        const std::string name =
            "key \"" + (key.types == L'\b' ? std::string("Backspace") : Narrow(key.label)) + "\"";
        const ControlView* edit = dialog ? FocusedEdit(*dialog) : nullptr;
        if (key.types == 0 || edit == nullptr) {
            return {name + ", which types nowhere", nullptr};
        }
        const int id = edit->id;
        const wchar_t unit = key.types;
        return {name + " into " + std::to_string(id), [id, unit] {
                    if (unit == L'\b') {
                        BackspaceNow(id);
                    } else {
                        TypeNow(id, std::wstring(1, unit));
                    }
                }};
    }
    if (TodayInFront()) {
        for (size_t i = 0; i < S().icons.size(); ++i) {
            if (Inside(IconRect(i), x, y)) {
                return {"icon " + std::to_string(S().icons[i].id), [i] { TapIconNow(i); }};
            }
        }
    }
    if (dialog) {
        // The first control of the template lies on top of those after it.
        for (const ControlView& control : dialog->controls) {
            if (!Inside(ControlRect(*dialog, control), x, y)) {
                continue;
            }
            const int id = control.id;
            const std::string name = Narrow(control.className) + " " + std::to_string(id);
            if (control.className == L"Button") {
                return {name, [id] { ClickRadioNow(id); }};
            }
            if (control.className == L"Edit") {
                return {name, [id] { FocusNow(id); }};
            }
            return {name, nullptr};
        }
    }
    return {"nothing", nullptr};
}

} // namespace

} // namespace emu::detail

namespace emu {

using namespace detail;

RECT ControlRect(const DialogView& dialog, const ControlView& control) {
    const int left = dialog.screen.left, top = dialog.screen.top;
    return {left + control.x * BaseUnitWidth / 4, top + control.y * BaseUnitHeight / 8,
            left + (control.x + control.cx) * BaseUnitWidth / 4,
            top + (control.y + control.cy) * BaseUnitHeight / 8};
}

bool TodayInFront() {
    const HWND front = ForegroundWindow();
    const Window* window = Find(front);
    return window == nullptr || !window->visible;
}

RECT DoneButtonRect() {
    for (auto it = S().dialogs.rbegin(); it != S().dialogs.rend(); ++it) {
        if (const Window* dialog = Find(*it)) {
            if (dialog->shellFlags & SHIDIF_DONEBUTTON) {
                return {ScreenWidth() - DoneButtonWidth, 0, ScreenWidth(), NavigationBarHeight};
            }
            break;
        }
    }
    return {0, 0, 0, 0};
}

RECT InputPanelButtonRect() {
    const int left = (ScreenWidth() - InputPanelButtonWidth) / 2;
    return {left, MenuBarTop(), left + InputPanelButtonWidth, ScreenHeight()};
}

RECT IconRect(size_t index) {
    const int fromRight = static_cast<int>(S().icons.size() - index);
    const int left = ScreenWidth() - fromRight * IconSlotWidth + (IconSlotWidth - IconSize) / 2 - 2;
    const int top = MenuBarTop() + (MenuBarHeight - IconSize) / 2;
    return {left, top, left + IconSize, top + IconSize};
}

std::vector<PanelKey> InputPanelKeys() {
    return InputPanelUp() ? Keyboard() : std::vector<PanelKey>{};
}

RECT MenuItemRect(const MenuView& menu, size_t index) {
    const int top = menu.rect.top + static_cast<int>(index) * BaseUnitHeight;
    return {menu.rect.left, top, menu.rect.right, top + BaseUnitHeight};
}

void TapAt(Millis when, int x, int y) {
    Script(when, "user taps at " + detail::At(x, y), [x, y] {
        const Reach reach = Reached(x, y);
        Note("  it reaches " + reach.what);
        if (reach.act) {
            reach.act();
        }
    });
}

} // namespace emu

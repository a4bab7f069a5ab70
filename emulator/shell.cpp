// The emulated core library's popup menus, keyboard injection and notification area, and the
// scripted world's actions on them.
#include "emulator/internal.h"

#include <algorithm>

namespace emu::detail {

static Menu* FindMenu(HMENU menu) {
    auto found = S().menus.find(reinterpret_cast<uintptr_t>(menu));
    return found != S().menus.end() ? &found->second : nullptr;
}

static std::string DescribeMenu(const std::vector<MenuItemView>& items) {
    std::string text;
    for (const MenuItemView& item : items) {
        text += text.empty() ? "" : " | ";
        text += (item.flags & MF_SEPARATOR) ? "----" : Narrow(item.text);
    }
    return text;
}

static Tracking& OpenMenu(const char* action) {
    if (S().tracking.empty()) {
        throw Failure(std::string(action) + ": no menu is open at " + FormatTime(S().now));
    }
    return *S().tracking.back();
}

static HWND RequireWindow(const std::wstring& className, const char* action) {
    HWND window = FindWindowW(className.c_str(), nullptr);
    if (window == nullptr) {
        throw Failure(std::string(action) + ": no window of class \"" + Narrow(className) + "\"");
    }
    return window;
}

} // namespace emu::detail

using namespace emu;
using namespace emu::detail;

HMENU WINAPI CreatePopupMenu(void) {
    const uintptr_t handle = S().nextMenu++;
    S().menus[handle] = Menu{};
    return reinterpret_cast<HMENU>(handle);
}

BOOL WINAPI AppendMenuW(HMENU handle, UINT flags, UINT_PTR id, LPCWSTR text) {
    Menu* menu = FindMenu(handle);
    if (menu == nullptr) {
        return FALSE;
    }
    if (!(flags & MF_SEPARATOR) && text == nullptr) {
        return FALSE;
    }
    menu->items.push_back({flags, id, (flags & MF_SEPARATOR) ? L"" : text});
    return TRUE;
}

// The menu's rectangle on the screen (see MenuView).
static RECT MenuRect(const std::vector<MenuItemView>& items, UINT flags, int x, int y) {
    size_t longest = 0;
    for (const MenuItemView& item : items) {
        size_t length = 0;
        for (size_t i = 0; i < item.text.size(); ++i) {
            // "&S" shows S underlined, "&&" one ampersand.
            if (item.text[i] == L'&' && ++i == item.text.size()) {
                break;
            }
            ++length;
        }
        longest = std::max(longest, length);
    }
    const int width = static_cast<int>(longest + 4) * BaseUnitWidth;
    const int height = static_cast<int>(items.size()) * BaseUnitHeight;
    const int left = (flags & TPM_RIGHTALIGN)    ? x - width
                     : (flags & TPM_CENTERALIGN) ? x - width / 2
                                                 : x;
    const int top = (flags & TPM_BOTTOMALIGN)    ? y - height
                    : (flags & TPM_VCENTERALIGN) ? y - height / 2
                                                 : y;
    return RECT{left, top, left + width, top + height};
}

BOOL WINAPI TrackPopupMenuEx(HMENU handle, UINT flags, int x, int y, HWND owner,
                             LPTPMPARAMS params) {
    (void)params;
    Menu* menu = FindMenu(handle);
    if (menu == nullptr || Find(owner) == nullptr) {
        return FALSE;
    }
    S().menusShown.push_back({S().now, menu->items, flags, x, y, owner, S().foreground,
                              MenuRect(menu->items, flags, x, y)});
    Note("menu shown at " + std::to_string(x) + "," + std::to_string(y) + " flags " + Hex(flags) +
         ": " + DescribeMenu(menu->items));

    // The menu runs its own loop on the thread's queue until it is chosen from, dismissed,
    // or its owner goes away.
    Tracking tracking{handle, owner, S().menusShown.size() - 1};
    S().tracking.push_back(&tracking);
    struct Pop {
        ~Pop() {
            S().tracking.pop_back();
        }
    } pop;
    while (!tracking.done) {
        MSG msg;
        const Next next = NextMessage(&msg, [&tracking] { return tracking.done; });
        if (next == Next::Quit) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (next == Next::Message) {
            DispatchMessageW(&msg);
        }
    }
    if (!tracking.chosen) {
        return FALSE;
    }
    PostMessageW(owner, WM_COMMAND, MAKEWPARAM(tracking.choice, 0), 0);
    return TRUE;
}

BOOL WINAPI DestroyMenu(HMENU handle) {
    return S().menus.erase(reinterpret_cast<uintptr_t>(handle)) != 0 ? TRUE : FALSE;
}

void WINAPI keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, DWORD extraInfo) {
    S().keys.push_back({S().now, virtualKey, scanCode, flags, extraInfo});
    std::string text = "key " + Hex(virtualKey) + ((flags & KEYEVENTF_KEYUP) ? " up" : " down");
    if (scanCode != 0 || extraInfo != 0 || (flags & ~static_cast<DWORD>(KEYEVENTF_KEYUP)) != 0) {
        text +=
            " (scan " + Hex(scanCode) + ", flags " + Hex(flags) + ", extra " + Hex(extraInfo) + ")";
    }
    Note(text);
}

BOOL WINAPI Shell_NotifyIcon(DWORD operation, PNOTIFYICONDATA data) {
    if (data == nullptr) {
        return FALSE;
    }
    if (data->cbSize != sizeof(NOTIFYICONDATA)) {
        Note("icon request refused: record size " + std::to_string(data->cbSize));
        return FALSE;
    }
    auto& icons = S().icons;
    auto same = std::find_if(icons.begin(), icons.end(), [data](const Icon& icon) {
        return icon.window == data->hWnd && icon.id == data->uID;
    });
    switch (operation) {
    case NIM_ADD: {
        if (same != icons.end() || Find(data->hWnd) == nullptr) {
            return FALSE;
        }
        Icon icon{data->hWnd, data->uID, data->uFlags, 0, nullptr, L""};
        if (data->uFlags & NIF_MESSAGE) {
            icon.callbackMessage = data->uCallbackMessage;
        }
        if (data->uFlags & NIF_ICON) {
            icon.icon = data->hIcon;
        }
        if (data->uFlags & NIF_TIP) {
            const size_t units = sizeof(data->szTip) / sizeof(data->szTip[0]);
            const WCHAR* end = std::find(data->szTip, data->szTip + units, 0);
            if (end == data->szTip + units) {
                throw Failure("Shell_NotifyIcon: the tooltip has no terminator in its field");
            }
            icon.tip.assign(static_cast<const WCHAR*>(data->szTip), end);
        }
        icons.push_back(icon);
        std::string picture = "no picture";
        auto loaded = S().loadedIcons.find(reinterpret_cast<uintptr_t>(icon.icon));
        if (loaded != S().loadedIcons.end()) {
            picture = "icon " + std::to_string(loaded->second.resourceId) + " " +
                      std::to_string(loaded->second.width) + "x" +
                      std::to_string(loaded->second.height);
        }
        Note("icon added: id " + std::to_string(icon.id) + ", tip \"" + Narrow(icon.tip) + "\", " +
             picture + ", callback " + std::to_string(icon.callbackMessage));
        return TRUE;
    }
    case NIM_DELETE:
        if (same == icons.end()) {
            return FALSE;
        }
        Note("icon removed: id " + std::to_string(same->id));
        icons.erase(same);
        return TRUE;
    default:
        return FALSE; // the program never modifies its icon
    }
}

namespace emu::detail {

// The shell sends each mouse event on an icon as the icon's callback message.
static void SendMouseEvent(size_t index, UINT mouseMessage, const char* action) {
    if (S().icons.size() <= index) {
        throw Failure(std::string(action) + ": no icon in the notification area at " +
                      FormatTime(S().now));
    }
    const Icon icon = S().icons[index];
    SendMessageW(icon.window, icon.callbackMessage, icon.id, static_cast<LPARAM>(mouseMessage));
}

void TapIconNow(size_t index) {
    const Icon tapped = S().icons.at(index);
    SendMouseEvent(index, WM_LBUTTONDOWN, "TapIcon");
    // The pen comes up where the icon was; an icon gone meanwhile hears nothing of it.
    for (size_t i = 0; i < S().icons.size(); ++i) {
        if (S().icons[i].window == tapped.window && S().icons[i].id == tapped.id) {
            SendMouseEvent(i, WM_LBUTTONUP, "TapIcon");
            return;
        }
    }
}

void ChooseMenuItemNow(UINT commandId) {
    Tracking& tracking = OpenMenu("ChooseMenuItem");
    const Menu* menu = FindMenu(tracking.menu);
    const auto& items = menu->items;
    auto item = std::find_if(items.begin(), items.end(), [commandId](const MenuItemView& i) {
        return !(i.flags & MF_SEPARATOR) && i.id == commandId;
    });
    if (item == items.end() || (item->flags & (MF_GRAYED | MF_DISABLED))) {
        throw Failure("ChooseMenuItem: the menu has no enabled item " + std::to_string(commandId));
    }
    tracking.chosen = true;
    tracking.choice = commandId;
    tracking.done = true;
}

void DismissMenuNow() {
    OpenMenu("DismissMenu").done = true;
}

} // namespace emu::detail

namespace emu {

void TapIcon(Millis when) {
    Script(when, "user taps the icon", [] {
        if (S().icons.empty()) {
            throw Failure("TapIcon: no icon in the notification area at " + FormatTime(S().now));
        }
        TapIconNow(0);
    });
}

void IconMouseEvent(Millis when, UINT mouseMessage) {
    Script(when, "mouse event " + Hex(mouseMessage) + " on the icon",
           [mouseMessage] { SendMouseEvent(0, mouseMessage, "IconMouseEvent"); });
}

void ChooseMenuItem(Millis when, UINT commandId) {
    Script(when, "user chooses menu item " + std::to_string(commandId),
           [commandId] { ChooseMenuItemNow(commandId); });
}

std::optional<MenuView> OpenPopupMenu() {
    if (S().tracking.empty()) {
        return std::nullopt;
    }
    return S().menusShown.at(S().tracking.back()->shown);
}

void DismissMenu(Millis when) {
    Script(when, "user taps outside the menu", [] { DismissMenuNow(); });
}

void SendToWindow(Millis when, const std::wstring& className, UINT message, WPARAM wParam,
                  LPARAM lParam) {
    Script(
        when, "another program sends " + Hex(message) + " to \"" + Narrow(className) + "\"",
        [=] { SendMessageW(RequireWindow(className, "SendToWindow"), message, wParam, lParam); });
}

void PostToWindow(Millis when, const std::wstring& className, UINT message, WPARAM wParam,
                  LPARAM lParam) {
    Script(
        when, "another program posts " + Hex(message) + " to \"" + Narrow(className) + "\"",
        [=] { PostMessageW(RequireWindow(className, "PostToWindow"), message, wParam, lParam); });
}

void RestartShell(Millis when) {
    Script(when, "the shell restarts", [] {
        S().icons.clear();
        const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
        for (const WindowView& window : TopLevelWindows()) {
            PostMessageW(window.handle, message, 0, 0);
        }
    });
}

void LowMemory(Millis when) {
    Script(when, "the platform runs low on memory", [] {
        // The window in front: an open dialog, else the last one brought to the foreground.
        const HWND front = ForegroundWindow();
        std::vector<HWND> visible;
        for (const WindowView& window : TopLevelWindows()) {
            if (window.visible && window.handle != front) {
                visible.push_back(window.handle);
            }
        }
        if (Window* foreground = Find(front);
            foreground && foreground->visible && foreground->parent == nullptr) {
            visible.push_back(foreground->handle);
        }
        for (HWND window : visible) {
            PostMessageW(window, WM_HIBERNATE, 0, 0);
        }
    });
}

} // namespace emu

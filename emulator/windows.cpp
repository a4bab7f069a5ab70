// The emulated core library: window classes, windows, the thread's message queue and timers.
#include "emulator/internal.h"

#include <algorithm>
#include <cwctype>

namespace emu::detail {

// A program still running after this many retrievals is taken to be stuck.
constexpr uint64_t RetrievalLimit = 20000000;

std::wstring Lower(LPCWSTR text) {
    std::wstring out;
    for (; text != nullptr && *text != 0; ++text) {
        out += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(*text)));
    }
    return out;
}

Window* Find(HWND handle) {
    auto found = S().windows.find(reinterpret_cast<uintptr_t>(handle));
    if (found == S().windows.end() || !found->second->alive) {
        return nullptr;
    }
    return found->second.get();
}

Window& Require(HWND handle, const char* what) {
    Window* window = Find(handle);
    if (window == nullptr) {
        throw Failure(std::string(what) + ": no such window");
    }
    return *window;
}

HWND NewWindow(std::unique_ptr<Window> window) {
    const uintptr_t key = S().nextWindow;
    S().nextWindow += 4;
    window->handle = reinterpret_cast<HWND>(key);
    HWND handle = window->handle;
    S().windows[key] = std::move(window);
    return handle;
}

LRESULT Call(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return 0;
    }
    switch (window->kind) {
    case Kind::Window:
        return window->proc(handle, message, wParam, lParam);
    case Kind::Dialog:
        return DialogWindowProc(*window, message, wParam, lParam);
    default:
        return ControlWindowProc(*window, message, wParam, lParam);
    }
}

static Scripted* NextScripted() {
    return S().scripted.empty() ? nullptr : &S().scripted.front();
}

static Timer* NextTimer() {
    Timer* next = nullptr;
    for (Timer& timer : S().timers) {
        if (next == nullptr || timer.due < next->due) {
            next = &timer;
        }
    }
    return next;
}

static std::string Waiting() {
    std::string what;
    for (const auto& [key, entry] : S().windows) {
        const Window* window = entry.get();
        if (window->alive && window->parent == nullptr) {
            what += " window \"" + Narrow(window->className) + "\"";
        }
    }
    if (!S().dialogs.empty()) {
        what += ", a dialog open";
    }
    if (!S().tracking.empty()) {
        what += ", a menu open";
    }
    return what;
}

Next NextMessage(MSG* msg, const std::function<bool()>& loopEnded) {
    State& state = S();
    for (;;) {
        if (++state.retrievals > RetrievalLimit && !state.idle) {
            throw Failure("the program is still running after " + std::to_string(RetrievalLimit) +
                          " messages, at " + FormatTime(state.now));
        }
        *msg = MSG{nullptr, 0, 0, 0, static_cast<DWORD>(state.now), {0, 0}};
        if (!state.posted.empty()) {
            *msg = state.posted.front();
            state.posted.pop_front();
            return Next::Message;
        }
        if (state.quitPosted) {
            state.quitPosted = false;
            msg->message = WM_QUIT;
            msg->wParam = static_cast<WPARAM>(state.quitCode);
            return Next::Quit;
        }
        if (LowerInputPanelWhenDue()) {
            continue;
        }
        Scripted* event = NextScripted();
        Timer* timer = NextTimer();
        // Input and other programs come before timer messages.
        if (event != nullptr && event->when <= state.now) {
            Scripted due = std::move(*event);
            state.scripted.erase(state.scripted.begin());
            Note(due.description);
            due.action();
            if (loopEnded && loopEnded()) {
                return Next::LoopEnded;
            }
            continue;
        }
        if (timer != nullptr && timer->due <= state.now) {
            msg->hwnd = timer->window;
            msg->message = WM_TIMER;
            msg->wParam = timer->id;
            msg->pt = state.pen;
            timer->due = state.now + timer->period;
            state.timerMessages.push_back(state.now);
            return Next::Message;
        }
        // Every loop is idle: the clock jumps to whatever comes next.
        Millis next = state.inputPanelDownAt;
        if (event != nullptr && (next < 0 || event->when < next)) {
            next = event->when;
        }
        if (timer != nullptr && (next < 0 || timer->due < next)) {
            next = timer->due;
        }
        if (state.idle) {
            state.idleNext = next;
            const IdleHandler handler = state.idle;
            handler(next);
            continue;
        }
        if (next < 0) {
            throw Failure("nothing left to happen at " + FormatTime(state.now) +
                          ": the program waits for ever (" + Waiting() + " )");
        }
        state.now = next;
    }
}

} // namespace emu::detail

namespace emu {

IdleHandler SetIdleHandler(IdleHandler handler) {
    IdleHandler previous = std::move(detail::S().idle);
    detail::S().idle = std::move(handler);
    return previous;
}

void AdvanceClock(Millis to) {
    detail::State& state = detail::S();
    if (to < state.now || (state.idleNext >= 0 && to > state.idleNext)) {
        throw Failure("AdvanceClock to " + FormatTime(to) + ": not between now, " +
                      FormatTime(state.now) + ", and what comes next");
    }
    state.now = to;
}

} // namespace emu

using namespace emu;
using namespace emu::detail;

ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass) {
    Preempt("RegisterClassW");
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        windowClass->lpfnWndProc == nullptr) {
        return 0;
    }
    const std::wstring key = Lower(windowClass->lpszClassName);
    if (S().classes.count(key) != 0) {
        return 0; // already registered
    }
    WNDCLASSW copy = *windowClass;
    copy.lpszClassName = nullptr;
    copy.lpszMenuName = nullptr;
    S().classes[key] = copy;
    S().classOwners[key] = S().processes.empty() ? 0 : S().processes.back();
    Note("class \"" + Narrow(windowClass->lpszClassName) + "\" registered: style " +
         Hex(windowClass->style) + ", extra bytes " + std::to_string(windowClass->cbClsExtra) +
         "/" + std::to_string(windowClass->cbWndExtra) + ", icon " +
         (windowClass->hIcon ? "set" : "none") + ", cursor " +
         (windowClass->hCursor ? "set" : "none") + ", brush " +
         (windowClass->hbrBackground ? "set" : "none") + ", menu " +
         (windowClass->lpszMenuName ? "set" : "none"));
    return static_cast<ATOM>(0xC000 + S().classes.size());
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    Preempt("CreateWindowExW");
    auto found = S().classes.find(Lower(className));
    if (className == nullptr || found == S().classes.end()) {
        return nullptr;
    }
    if (parent != nullptr && Find(parent) == nullptr) {
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    window->className = className;
    window->title = windowName != nullptr ? windowName : L"";
    window->style = style;
    window->exStyle = exStyle;
    window->parent = parent;
    window->menu = menu;
    window->instance = instance;
    window->proc = found->second.lpfnWndProc;
    window->visible = (style & WS_VISIBLE) != 0;
    // A window of default size reaches from its corner to the right edge of the screen and
    // down to the top of the menu bar, where the notification icons are.
    const LONG left = x == CW_USEDEFAULT ? 0 : x;
    const LONG top = y == CW_USEDEFAULT ? 0 : y;
    const LONG w = width == CW_USEDEFAULT ? std::max<LONG>(ScreenWidth() - left, 0) : width;
    const LONG h = height == CW_USEDEFAULT ? std::max<LONG>(MenuBarTop() - top, 0) : height;
    window->rect = {left, top, left + w, top + h};
    HWND handle = NewWindow(std::move(window));
    Note("window \"" + Narrow(className) + "\" created: title \"" +
         Narrow(windowName ? windowName : L"") + "\", style " + Hex(style) + ", ex style " +
         Hex(exStyle) + ", at " + std::to_string(left) + "," + std::to_string(top) + " size " +
         std::to_string(w) + "x" + std::to_string(h) + ", parent " + (parent ? "set" : "none") +
         ", menu " + (menu ? "set" : "none"));
    CREATESTRUCTW create{param,
                         instance,
                         menu,
                         parent,
                         static_cast<int>(h),
                         static_cast<int>(w),
                         static_cast<int>(top),
                         static_cast<int>(left),
                         static_cast<LONG>(style),
                         windowName,
                         className,
                         exStyle};
    if (Call(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    // Destroyed during its own creation.
    return Find(handle) != nullptr ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND handle) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return FALSE;
    }
    // Owned windows go first.
    std::vector<HWND> owned;
    for (const auto& [key, other] : S().windows) {
        if (other->alive && other->owner == handle) {
            owned.push_back(other->handle);
        }
    }
    for (HWND other : owned) {
        DestroyWindow(other);
    }
    Call(handle, WM_DESTROY, 0, 0);
    window = Find(handle);
    if (window == nullptr) {
        return TRUE; // destroyed by its own destroy handler
    }
    for (HWND child : window->children) {
        if (Window* control = Find(child)) {
            control->alive = false;
        }
    }
    window->alive = false;
    if (window->kind == Kind::Dialog) {
        Note("dialog \"" + Narrow(window->title) + "\" destroyed");
    } else if (window->parent == nullptr) {
        Note("window \"" + Narrow(window->className) + "\" destroyed");
    }
    auto& timers = S().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [handle](const Timer& t) { return t.window == handle; }),
                 timers.end());
    auto& posted = S().posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [handle](const MSG& m) { return m.hwnd == handle; }),
                 posted.end());
    for (Tracking* tracking : S().tracking) {
        if (tracking->owner == handle) {
            tracking->done = true; // a menu goes with its owner
        }
    }
    if (S().foreground == handle) {
        S().foreground = nullptr;
    }
    return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) {
    return Find(handle) != nullptr;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    Preempt("FindWindowW");
    const std::wstring wanted = Lower(className);
    for (const auto& [key, window] : S().windows) {
        if (!window->alive || window->parent != nullptr) {
            continue;
        }
        if (className != nullptr && Lower(window->className.c_str()) != wanted) {
            continue;
        }
        if (windowName != nullptr && window->title != windowName) {
            continue;
        }
        return window->handle;
    }
    return nullptr;
}

LRESULT WINAPI DefWindowProcW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (message == WM_CLOSE) {
        DestroyWindow(handle);
    }
    return 0;
}

BOOL WINAPI SetForegroundWindow(HWND handle) {
    if (Find(handle) == nullptr) {
        return FALSE;
    }
    S().foreground = handle;
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND handle, RECT* rect) {
    Window* window = Find(handle);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = window->rect;
    if (window->parent != nullptr) {
        const RECT& dialog = Require(window->parent, "GetWindowRect").rect;
        *rect = {dialog.left + rect->left, dialog.top + rect->top, dialog.left + rect->right,
                 dialog.top + rect->bottom};
    }
    return TRUE;
}

BOOL WINAPI SetWindowTextW(HWND handle, LPCWSTR text) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return FALSE;
    }
    window->title = text != nullptr ? text : L"";
    if (window->kind == Kind::Edit) {
        Call(window->parent, WM_COMMAND, MAKEWPARAM(window->id, EN_CHANGE),
             reinterpret_cast<LPARAM>(handle));
    }
    return TRUE;
}

BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return FALSE;
    }
    const BOOL wasDisabled = !window->enabled;
    window->enabled = enable != FALSE;
    // A window that is disabled loses the focus.
    if (!window->enabled && window->parent != nullptr) {
        Window& dialog = Require(window->parent, "EnableWindow");
        if (dialog.focus == handle) {
            SetFocusTo(dialog, nullptr);
        }
    }
    return wasDisabled;
}

BOOL WINAPI GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr || filterMin != 0 || filterMax != 0) {
        throw Failure("GetMessageW: filters are not emulated");
    }
    if (msg == nullptr) {
        return -1;
    }
    return NextMessage(msg) == Next::Message ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    (void)msg;
    return FALSE; // no key messages reach the program
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) {
        return 0;
    }
    return Call(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI SendMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return Call(handle, message, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (handle != nullptr && Find(handle) == nullptr) {
        return FALSE;
    }
    S().posted.push_back(
        MSG{handle, message, wParam, lParam, static_cast<DWORD>(S().now), S().pen});
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    S().quitPosted = true;
    S().quitCode = exitCode;
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
    if (name == nullptr || *name == 0) {
        return 0;
    }
    // One number per name, whoever registers it, in the range of registered messages.
    auto& registered = S().registeredMessages;
    const std::wstring key = Lower(name);
    auto found = registered.find(key);
    if (found != registered.end()) {
        return found->second;
    }
    const UINT message = 0xC000 + static_cast<UINT>(registered.size());
    registered[key] = message;
    return message;
}

UINT_PTR WINAPI SetTimer(HWND handle, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    if (handle == nullptr || timerProc != nullptr) {
        throw Failure("SetTimer: thread timers and timer procedures are not emulated");
    }
    if (Find(handle) == nullptr) {
        return 0;
    }
    const UINT period = elapse < 10 ? 10 : elapse;
    for (Timer& timer : S().timers) {
        if (timer.window == handle && timer.id == id) {
            timer.period = period;
            timer.due = S().now + period;
            Note("timer " + std::to_string(id) + " reset: every " + std::to_string(period) + " ms");
            return id != 0 ? id : 1;
        }
    }
    S().timers.push_back({handle, id, period, S().now + period});
    Note("timer " + std::to_string(id) + " set: every " + std::to_string(period) + " ms");
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND handle, UINT_PTR id) {
    auto& timers = S().timers;
    auto found = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.window == handle && timer.id == id;
    });
    if (found == timers.end()) {
        return FALSE;
    }
    timers.erase(found);
    Note("timer " + std::to_string(id) + " killed");
    return TRUE;
}

// The emulated device: its clock, the scripted world, the timeline and the test-facing queries.
#include "emulator/internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace emu {
namespace detail {

State& S() {
    static State state;
    return state;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char escaped[12];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out;
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llX", value);
    return text;
}

void Note(const std::string& text) {
    S().timeline.push_back({S().now, text});
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

static void CivilFromDays(int64_t z, int* year, unsigned* month, unsigned* day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (*month <= 2));
}

constexpr Millis DayMs = 86400000;

static Millis FloorDiv(Millis a, Millis b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace detail

using namespace detail;

Millis At(int hour, int minute, int second, int day, int ms) {
    return ((static_cast<Millis>(day) * 24 + hour) * 60 + minute) * 60000 +
           static_cast<Millis>(second) * 1000 + ms;
}

Millis Now() {
    return S().now;
}

std::string FormatTime(Millis time) {
    const Millis day = FloorDiv(time, DayMs);
    const Millis of = time - day * DayMs;
    char text[48];
    const int h = static_cast<int>(of / 3600000), m = static_cast<int>(of / 60000 % 60),
              s = static_cast<int>(of / 1000 % 60), ms = static_cast<int>(of % 1000);
    std::string out;
    if (day != 0) {
        std::snprintf(text, sizeof(text), "%+lldd ", static_cast<long long>(day));
        out = text;
    }
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d", h, m, s);
    out += text;
    if (ms != 0) {
        std::snprintf(text, sizeof(text), ".%03d", ms);
        out += text;
    }
    return out;
}

void Reset() {
    State& state = S();
    state.~State();
    new (&state) State();
    SetClock(2026, 1, 1, 0, 0, 0);
}

void SetClock(int year, int month, int day, int hour, int minute, int second, int ms) {
    if (S().running) {
        throw Failure("SetClock while the program runs");
    }
    S().baseDay = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    S().now = At(hour, minute, second, 0, ms);
}

void SetScreenSize(int width, int height) {
    if (S().running) {
        throw Failure("SetScreenSize while the program runs");
    }
    const bool known =
        (width == 240 && (height == 320 || height == 240)) || (width == 320 && height == 240);
    if (!known) {
        throw Failure("SetScreenSize: no Pocket PC has a " + std::to_string(width) + " x " +
                      std::to_string(height) + " screen here (240 x 320, 320 x 240 or 240 x 240)");
    }
    S().screenWidth = width;
    S().screenHeight = height;
    S().pen = {width / 2, height / 2};
}

int ScreenWidth() {
    return S().screenWidth;
}

int ScreenHeight() {
    return S().screenHeight;
}

int MenuBarTop() {
    return S().screenHeight - MenuBarHeight;
}

HINSTANCE ProgramInstance() {
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));
}

int RunProgram(EntryPoint entry, const std::wstring& commandLine) {
    State& state = S();
    if (state.running) {
        throw Failure("RunProgram while the program runs");
    }
    struct Running {
        Running() {
            S().running = true;
            S().retrievals = 0;
        }
        ~Running() {
            S().running = false;
        }
    } running;
    Note("program started: \"" + Narrow(commandLine) + "\"");
    const int code = RunProcess(entry, commandLine);
    Note("program exited " + std::to_string(code));
    // The device lives on: the shell's timer still lowers the input panel.
    if (state.inputPanelDownAt >= 0) {
        state.now = std::max(state.now, state.inputPanelDownAt);
        LowerInputPanelWhenDue();
    }
    if (!state.scripted.empty() || !state.preemptions.empty()) {
        std::string left = "the program ended before these scripted events:";
        for (const Scripted& event : state.scripted) {
            left += " [" + FormatTime(event.when) + " " + event.description + "]";
        }
        for (const Preemption& waiting : state.preemptions) {
            left += " [at " + waiting.call + ": " + waiting.description + "]";
        }
        state.scripted.clear();
        state.preemptions.clear();
        throw Failure(left);
    }
    return code;
}

void Script(Millis when, const std::string& description, std::function<void()> action) {
    State& state = S();
    Scripted event{when, state.nextOrder++, description, std::move(action)};
    auto at =
        std::upper_bound(state.scripted.begin(), state.scripted.end(), event,
                         [](const Scripted& a, const Scripted& b) { return a.when < b.when; });
    state.scripted.insert(at, std::move(event));
}

static std::function<void()> SecondCopy(EntryPoint entry, const std::wstring& commandLine) {
    return [entry, commandLine] {
        const int code = RunProcess(entry, commandLine);
        Note("second copy exited " + std::to_string(code));
    };
}

void StartSecondCopy(Millis when, EntryPoint entry, const std::wstring& commandLine) {
    Script(when, "second copy started: \"" + Narrow(commandLine) + "\"",
           SecondCopy(entry, commandLine));
}

void StartSecondCopyAt(const std::string& call, EntryPoint entry, const std::wstring& commandLine) {
    S().preemptions.push_back(
        {call, "second copy started at " + call + ": \"" + Narrow(commandLine) + "\"",
         SecondCopy(entry, commandLine)});
}

std::string TimelineText() {
    std::string out;
    for (const Entry& entry : S().timeline) {
        out += FormatTime(entry.time) + " " + entry.text + "\n";
    }
    return out;
}

std::vector<std::string> TimelineOf(const std::string& prefix) {
    std::vector<std::string> out;
    for (const Entry& entry : S().timeline) {
        if (entry.text.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(FormatTime(entry.time) + " " + entry.text);
        }
    }
    return out;
}

const std::vector<Entry>& Timeline() {
    return S().timeline;
}

const std::vector<KeyEvent>& Keys() {
    return S().keys;
}

std::vector<IconView> Icons() {
    std::vector<IconView> out;
    for (const Icon& icon : S().icons) {
        IconView view{icon.window, icon.id, icon.flags, icon.callbackMessage, icon.tip, 0, 0,
                      0,           0,       {}};
        auto loaded = S().loadedIcons.find(reinterpret_cast<uintptr_t>(icon.icon));
        if (loaded != S().loadedIcons.end()) {
            view.resourceId = loaded->second.resourceId;
            view.width = loaded->second.width;
            view.height = loaded->second.height;
            view.colours = loaded->second.colours;
            view.image = loaded->second.image;
        }
        out.push_back(view);
    }
    return out;
}

const std::vector<MenuView>& MenusShown() {
    return S().menusShown;
}

int LiveMenus() {
    return static_cast<int>(S().menus.size());
}

bool InputPanelUp() {
    return S().inputPanelUp;
}

const ControlView& DialogView::Control(int id) const {
    for (const ControlView& control : controls) {
        if (control.id == id) {
            return control;
        }
    }
    throw Failure("the dialog has no control " + std::to_string(id));
}

DialogView CurrentDialog() {
    Window& dialog = OpenDialog("looking at the dialog");
    DialogView view{dialog.title, dialog.style,      dialog.tx,   dialog.ty,
                    dialog.tcx,   dialog.tcy,        dialog.font, dialog.pointSize,
                    dialog.rect,  dialog.shellFlags, {}};
    for (HWND handle : dialog.children) {
        const Window& control = *S().windows.at(reinterpret_cast<uintptr_t>(handle));
        view.controls.push_back({control.id, control.className, control.style, control.tx,
                                 control.ty, control.tcx, control.tcy, control.title,
                                 control.checked, control.enabled, dialog.focus == handle});
    }
    return view;
}

std::vector<WindowView> TopLevelWindows() {
    std::vector<WindowView> out;
    for (const auto& [key, window] : S().windows) {
        if (window->alive && window->parent == nullptr) {
            out.push_back({window->handle, window->className, window->title, window->style,
                           window->exStyle, window->rect, window->parent, window->menu,
                           window->instance, window->enabled, window->visible});
        }
    }
    return out;
}

HWND ForegroundWindow() {
    for (auto it = S().dialogs.rbegin(); it != S().dialogs.rend(); ++it) {
        if (Find(*it) != nullptr) {
            return *it;
        }
    }
    return Find(S().foreground) != nullptr ? S().foreground : nullptr;
}

std::vector<TimerView> Timers() {
    std::vector<TimerView> out;
    for (const Timer& timer : S().timers) {
        out.push_back({timer.window, timer.id, timer.period, timer.due});
    }
    return out;
}

const std::vector<Millis>& TimerMessages() {
    return S().timerMessages;
}

} // namespace emu

// The device's clock.
void WINAPI GetLocalTime(SYSTEMTIME* time) {
    using namespace emu;
    using namespace emu::detail;
    if (time == nullptr) {
        return;
    }
    const Millis day = FloorDiv(S().now, DayMs);
    const Millis of = S().now - day * DayMs;
    int year = 0;
    unsigned month = 0, dayOfMonth = 0;
    const int64_t days = S().baseDay + day;
    CivilFromDays(days, &year, &month, &dayOfMonth);
    time->wYear = static_cast<WORD>(year);
    time->wMonth = static_cast<WORD>(month);
    time->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    time->wDay = static_cast<WORD>(dayOfMonth);
    time->wHour = static_cast<WORD>(of / 3600000);
    time->wMinute = static_cast<WORD>(of / 60000 % 60);
    time->wSecond = static_cast<WORD>(of / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(of % 1000);
}

// The debugger's output: the system's, a line of the timeline.
void WINAPI OutputDebugStringW(LPCWSTR text) {
    using namespace emu::detail;
    Note("debug: " + Narrow(text != nullptr ? text : L""));
}

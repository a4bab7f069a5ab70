// The run in a terminal: the emulated device's screen drawn with ncurses from the emulator's
// live state, and the person's keys and clicks turned into taps at the device's time. Between
// events it sleeps in poll() until the next due time (at the clock's speed) or a key.
#include "emulator/console/terminal.h"

#include "emulator/console/layout.h"

#include <curses.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <functional>
#include <vector>

namespace emu::console {

using namespace frontend;

namespace {

constexpr const char* KeysLine = "Tab move  Space tap  0-9 Bksp type  Enter ok  i icon  "
                                 "menu: Up Down Enter Esc  +/- speed  q quit";
// The device's screen sits inside a frame of one cell.
constexpr int Top = 1;
constexpr int Left = 1;

enum Colour : short { Lit = 1, Bar, Dark };

std::string Ascii(const std::wstring& text) {
    std::string out;
    for (wchar_t unit : text) {
        out += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    return out;
}

bool IsRadio(const ControlView& control) {
    const DWORD type = control.style & BS_TYPEMASK;
    return control.className == L"Button" && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON);
}

bool IsEdit(const ControlView& control) {
    return control.className == L"Edit";
}

bool IsTappable(const ControlView& control) {
    return IsRadio(control) || (IsEdit(control) && control.enabled);
}

// A menu item's text without its '&', and its mnemonic letter (0: none).
std::string ItemText(const std::wstring& text, char* mnemonic, int* at) {
    std::string out;
    *mnemonic = 0;
    *at = -1;
    const std::string ascii = Ascii(text);
    for (size_t i = 0; i < ascii.size(); ++i) {
        if (ascii[i] == '&' && i + 1 < ascii.size()) {
            ++i;
            if (ascii[i] != '&' && *mnemonic == 0) {
                *mnemonic = static_cast<char>(std::tolower(static_cast<unsigned char>(ascii[i])));
                *at = static_cast<int>(out.size());
            }
        }
        out += ascii[i];
    }
    return out;
}

bool Selectable(const MenuItemView& item) {
    return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

// Where something on the screen can be tapped (terminal cells).
struct Target {
    int row;
    int col;
    int width;
    std::function<void()> tap;
};

} // namespace

struct Terminal::Impl {
    Impl(const Options& options, std::function<void(int)> onDrawn)
        : name(options.name), speed(options.speed), drawn(std::move(onDrawn)) {
        if (speed <= 0) {
            speed = 1;
        }
    }

    std::string name;
    double speed;
    std::function<void(int)> drawn;
    HWND dialog = nullptr;
    int highlight = INT_MIN; // the highlighted control's id
    size_t menusSeen = 0;
    int selection = -1; // the open menu's selected item
    bool dark = false;
    Millis suspendedAt = -1;
    size_t keysSeen = 0;
    std::vector<Target> targets;

    // ---- Drawing ----
    void Put(int row, int col, const std::string& text, attr_t attr = A_NORMAL) {
        const int room = ScreenColumns() - col;
        if (row < 0 || row >= ScreenRows() || col < 0 || room <= 0) {
            return;
        }
        attron(attr);
        mvaddnstr(Top + row, Left + col, text.c_str(), room);
        attroff(attr);
    }
    void Fill(int row, int col, int width, attr_t attr) {
        Put(row, col, std::string(static_cast<size_t>(std::max(0, width)), ' '), attr);
    }

    void Frame() {
        const int w = ScreenColumns(), h = ScreenRows();
        mvaddch(0, 0, '+');
        mvaddch(0, w + 1, '+');
        mvaddch(h + 1, 0, '+');
        mvaddch(h + 1, w + 1, '+');
        mvhline(0, 1, '-', w);
        mvhline(h + 1, 1, '-', w);
        mvvline(1, 0, '|', h);
        mvvline(1, w + 1, '|', h);
    }

    void NavigationBar(const std::optional<DialogView>& open) {
        const attr_t bar = COLOR_PAIR(Bar) | A_BOLD;
        const int row = NavigationBarRow();
        Fill(row, 0, ScreenColumns(), bar);
        std::string title;
        const HWND front = ForegroundWindow();
        for (const WindowView& window : TopLevelWindows()) {
            if (window.handle == front) {
                title = Ascii(window.title);
            }
        }
        Put(row, 1, title, bar);
        std::string right = ClockText(Now());
        const bool done = open && (open->shellFlags & SHIDIF_DONEBUTTON);
        if (done) {
            right += "  ok";
        }
        const int col = ScreenColumns() - 1 - static_cast<int>(right.size());
        Put(row, col, right, bar);
        if (done) {
            // Where the device has its ok button (the text lies inside).
            const Cells ok = PixelCells(DoneButtonRect());
            targets.push_back({row, ok.col, ok.width, [] { PressDone(Now()); }});
        }
    }

    void Dialog(const DialogView& view) {
        for (const ControlView& control : view.controls) {
            const Cells at =
                ControlCells(view.screen, control.x, control.y, control.cx, control.cy);
            attr_t attr = COLOR_PAIR(Lit);
            if (!control.enabled) {
                attr |= A_DIM;
            }
            if (control.id == highlight && IsTappable(control)) {
                attr |= A_REVERSE;
            }
            std::string text = Ascii(control.text);
            const int id = control.id;
            if (IsRadio(control)) {
                text = (control.checked ? "(o) " : "( ) ") + text;
                targets.push_back({at.row, at.col, static_cast<int>(text.size()),
                                   [id] { ClickRadio(Now(), id); }});
            } else if (IsEdit(control)) {
                const size_t inner = static_cast<size_t>(std::max(1, at.width - 2));
                if (control.focused) {
                    text += '_';
                }
                if (text.size() > inner) {
                    text = text.substr(text.size() - inner);
                }
                text = "[" + text + std::string(inner - text.size(), ' ') + "]";
                if (control.enabled) {
                    targets.push_back({at.row, at.col, static_cast<int>(text.size()),
                                       [id] { Focus(Now(), id); }});
                }
            } else if ((control.style & SS_CENTER) && static_cast<int>(text.size()) < at.width) {
                text = std::string(
                           static_cast<size_t>(at.width - static_cast<int>(text.size())) / 2, ' ') +
                       text;
            }
            Put(at.row, at.col, text, attr);
        }
    }

    void InputPanel(const std::optional<DialogView>& open) {
        const Cells panel = InputPanelCells();
        const attr_t bar = COLOR_PAIR(Bar);
        for (int row = panel.row; row < panel.row + panel.height; ++row) {
            Fill(row, panel.col, panel.width, bar);
        }
        Put(panel.row, 1, "Input panel", bar | A_DIM);
        int editId = INT_MIN;
        if (open) {
            for (const ControlView& control : open->controls) {
                if (control.focused && IsEdit(control)) {
                    editId = control.id;
                }
            }
        }
        // The keypad: the keys of the device's keyboard that type digits and Backspace, each
        // in the cell at the middle of the key.
        for (const PanelKey& key : InputPanelKeys()) {
            const wchar_t unit = key.types;
            if (unit != L'\b' && (unit < L'0' || unit > L'9')) {
                continue;
            }
            const std::string label =
                unit == L'\b' ? "<-" : std::string(1, static_cast<char>(unit));
            const int row = Row((key.rect.top + key.rect.bottom) / 2);
            const int col = Column((key.rect.left + key.rect.right) / 2);
            Put(row, col, label, bar | A_BOLD);
            if (editId == INT_MIN) {
                continue;
            }
            targets.push_back({row, col, static_cast<int>(label.size()), [editId, unit] {
                                   if (unit == L'\b') {
                                       Backspace(Now(), editId);
                                   } else {
                                       Type(Now(), editId, std::wstring(1, unit));
                                   }
                               }});
        }
    }

    void MenuBar() {
        const attr_t bar = COLOR_PAIR(Bar);
        const int row = MenuBarRow();
        Fill(row, 0, ScreenColumns(), bar);
        const std::vector<IconView> icons = Icons();
        for (size_t i = icons.size(); i-- > 0;) {
            std::string glyph = Ascii(icons[i].tip).substr(0, 2);
            glyph += std::string(2 - glyph.size(), '*');
            const int col = PixelCells(IconRect(i)).col; // where the device has the icon
            Put(row, col, glyph, bar | A_REVERSE | A_BOLD);
            if (i == 0) {
                targets.push_back({row, col, 2, [] { TapIcon(Now()); }});
            }
        }
    }

    void Menu(const MenuView& menu) {
        if (MenusShown().size() != menusSeen) {
            menusSeen = MenusShown().size();
            selection = -1;
            MoveSelection(menu, 1);
        }
        // Where the emulator placed it: a line for each item, two characters either side of
        // the longest text; the rules above and below it lie outside.
        const Cells place = PixelCells(menu.rect);
        const int col = place.col, width = place.width;
        const int row = place.row - 1, height = static_cast<int>(menu.items.size()) + 2;
        const attr_t lit = COLOR_PAIR(Lit);
        const std::string rule = "+" + std::string(static_cast<size_t>(width - 2), '-') + "+";
        Put(row, col, rule, lit);
        Put(row + height - 1, col, rule, lit);
        for (size_t i = 0; i < menu.items.size(); ++i) {
            const MenuItemView& item = menu.items[i];
            const int r = row + 1 + static_cast<int>(i);
            Put(r, col, "|" + std::string(static_cast<size_t>(width - 2), ' ') + "|", lit);
            if (item.flags & MF_SEPARATOR) {
                Put(r, col + 1, std::string(static_cast<size_t>(width - 2), '-'), lit);
                continue;
            }
            char mnemonic = 0;
            int at = 0;
            const std::string text = ItemText(item.text, &mnemonic, &at);
            const bool selected = static_cast<int>(i) == selection;
            attr_t attr = lit | (selected ? A_REVERSE : 0) | (Selectable(item) ? 0 : A_DIM);
            const std::string line = (selected ? ">" : " ") + text +
                                     std::string(static_cast<size_t>(width - 3) - text.size(), ' ');
            Put(r, col + 1, line, attr);
            if (at >= 0) {
                Put(r, col + 2 + at, text.substr(static_cast<size_t>(at), 1), attr | A_UNDERLINE);
            }
            if (Selectable(item)) {
                const UINT id = static_cast<UINT>(item.id);
                targets.push_back({r, col + 1, width - 2, [id] { ChooseMenuItem(Now(), id); }});
            }
        }
    }

    void Centred(int row, const std::string& text, attr_t attr) {
        const int col = std::max(0, (ScreenColumns() - static_cast<int>(text.size())) / 2);
        Put(row, col, text, attr);
    }

    void DarkScreen(const std::vector<std::string>& lines) {
        const attr_t night = COLOR_PAIR(Dark);
        for (int row = 0; row < ScreenRows(); ++row) {
            Fill(row, 0, ScreenColumns(), night);
        }
        Centred(ScreenRows() / 2 - 2, "The Pocket PC suspended", night | A_BOLD);
        Centred(ScreenRows() / 2 - 1, "at " + FormatTime(suspendedAt), night | A_BOLD);
        for (size_t i = 0; i < lines.size(); ++i) {
            Centred(ScreenRows() / 2 + 1 + static_cast<int>(i), lines[i], night);
        }
    }

    void TimelinePane() {
        const int frameWidth = ScreenColumns() + 2, frameHeight = ScreenRows() + 2;
        const bool beside = COLS >= frameWidth + 1 + 30;
        const int top = beside ? 0 : frameHeight;
        const int left = beside ? frameWidth + 1 : 0;
        const int width = COLS - left, height = LINES - 1 - top;
        if (width <= 0 || height <= 0) {
            return;
        }
        char head[64];
        std::snprintf(head, sizeof(head), "Timeline  (clock x%g)", speed);
        attron(A_BOLD);
        mvaddnstr(top, left, head, width);
        attroff(A_BOLD);
        const std::vector<Entry>& timeline = Timeline();
        const size_t rows = static_cast<size_t>(height - 1);
        const size_t first = timeline.size() > rows ? timeline.size() - rows : 0;
        for (size_t i = first; i < timeline.size(); ++i) {
            const std::string line = FormatTime(timeline[i].time) + " " + timeline[i].text;
            mvaddnstr(top + 1 + static_cast<int>(i - first), left, line.c_str(), width);
        }
    }

    // Lines no wider than the screen, broken at spaces.
    static std::vector<std::string> Wrapped(const std::vector<std::string>& lines) {
        const size_t width = static_cast<size_t>(ScreenColumns() - 2);
        std::vector<std::string> out;
        for (std::string line : lines) {
            while (line.size() > width) {
                size_t cut = line.rfind(' ', width);
                cut = cut == std::string::npos || cut == 0 ? width : cut;
                out.push_back(line.substr(0, cut));
                line = line.substr(cut + (line[cut] == ' ' ? 1 : 0));
            }
            out.push_back(line);
        }
        return out;
    }

    void Draw(const std::vector<std::string>& ending = {}) {
        const std::vector<std::string> endLines = Wrapped(ending);
        const std::vector<KeyEvent>& keys = Keys();
        for (; keysSeen < keys.size(); ++keysSeen) {
            if (keys[keysSeen].virtualKey == VK_OFF && !(keys[keysSeen].flags & KEYEVENTF_KEYUP)) {
                dark = true;
                suspendedAt = keys[keysSeen].time;
            }
        }
        erase();
        targets.clear();
        Frame();
        if (dark) {
            DarkScreen(endLines);
        } else {
            const attr_t lit = COLOR_PAIR(Lit);
            for (int row = 0; row < ScreenRows(); ++row) {
                Fill(row, 0, ScreenColumns(), lit);
            }
            const std::optional<DialogView> open = OpenDialogView();
            if (open && open->controls.size() > 0 && ForegroundWindow() != dialog) {
                dialog = ForegroundWindow();
                FirstHighlight(*open);
            }
            NavigationBar(open);
            if (open) {
                Dialog(*open);
            }
            if (InputPanelUp()) {
                InputPanel(open);
            }
            MenuBar();
            if (const std::optional<MenuView> menu = OpenPopupMenu()) {
                Menu(*menu);
            }
            for (size_t i = 0; i < endLines.size(); ++i) {
                Fill(ScreenRows() / 2 + static_cast<int>(i), 0, ScreenColumns(), lit);
                Centred(ScreenRows() / 2 + static_cast<int>(i), endLines[i], lit | A_BOLD);
            }
        }
        TimelinePane();
        mvaddnstr(LINES - 1, 0, KeysLine, COLS);
        refresh();
        if (drawn) {
            drawn(OpenPopupMenu() ? selection : -1);
        }
    }

    // ---- The person's keys ----
    void FirstHighlight(const DialogView& view) {
        highlight = INT_MIN;
        for (const ControlView& control : view.controls) {
            if (IsTappable(control) && (control.focused || highlight == INT_MIN)) {
                highlight = control.id;
                if (control.focused) {
                    return;
                }
            }
        }
    }

    void MoveHighlight(const DialogView& view, int step) {
        const int count = static_cast<int>(view.controls.size());
        int at = -1;
        for (int i = 0; i < count; ++i) {
            if (view.controls[static_cast<size_t>(i)].id == highlight) {
                at = i;
            }
        }
        for (int n = 1; n <= count; ++n) {
            const int i = ((at < 0 ? (step > 0 ? -1 : 0) : at) + step * n + 2 * count) % count;
            if (IsTappable(view.controls[static_cast<size_t>(i)])) {
                highlight = view.controls[static_cast<size_t>(i)].id;
                return;
            }
        }
    }

    void MoveSelection(const MenuView& menu, int step) {
        const int count = static_cast<int>(menu.items.size());
        for (int n = 1; n <= count; ++n) {
            const int i = (selection + step * n + 2 * count) % count;
            if (i >= 0 && Selectable(menu.items[static_cast<size_t>(i)])) {
                selection = i;
                return;
            }
        }
    }

    // Answers whether the key acted on the device (then the device runs the action).
    bool MenuKey(const MenuView& menu, int key) {
        if (key == KEY_UP || key == KEY_DOWN) {
            MoveSelection(menu, key == KEY_UP ? -1 : 1);
            return false;
        }
        if (key == '\n' || key == '\r' || key == KEY_ENTER) {
            if (selection >= 0 && selection < static_cast<int>(menu.items.size())) {
                ChooseMenuItem(Now(),
                               static_cast<UINT>(menu.items[static_cast<size_t>(selection)].id));
                return true;
            }
            return false;
        }
        if (key == 27) {
            DismissMenu(Now());
            return true;
        }
        for (const MenuItemView& item : menu.items) {
            char mnemonic = 0;
            int at = 0;
            ItemText(item.text, &mnemonic, &at);
            if (Selectable(item) && mnemonic != 0 && key < 256 &&
                std::tolower(key) == static_cast<unsigned char>(mnemonic)) {
                ChooseMenuItem(Now(), static_cast<UINT>(item.id));
                return true;
            }
        }
        return false;
    }

    bool DialogKey(const DialogView& view, int key) {
        const ControlView* lit = nullptr;
        const ControlView* focused = nullptr;
        for (const ControlView& control : view.controls) {
            if (control.id == highlight) {
                lit = &control;
            }
            if (control.focused && IsEdit(control)) {
                focused = &control;
            }
        }
        if (key == '\t' || key == KEY_BTAB) {
            MoveHighlight(view, key == '\t' ? 1 : -1);
            return false;
        }
        if (key == ' ' && lit != nullptr) {
            if (IsRadio(*lit)) {
                ClickRadio(Now(), lit->id);
            } else {
                Focus(Now(), lit->id);
            }
            return true;
        }
        const bool digit = key >= '0' && key <= '9';
        const bool backspace = key == KEY_BACKSPACE || key == 127 || key == 8;
        if (digit || backspace) {
            const ControlView* edit = focused;
            if (lit != nullptr && IsEdit(*lit) && lit->enabled && !lit->focused) {
                edit = lit; // tapped first
            }
            if (edit == nullptr) {
                return false;
            }
            if (digit) {
                Type(Now(), edit->id, std::wstring(1, static_cast<wchar_t>(key)));
            } else {
                Backspace(Now(), edit->id);
            }
            return true;
        }
        if ((key == '\n' || key == '\r' || key == KEY_ENTER) &&
            (view.shellFlags & SHIDIF_DONEBUTTON)) {
            PressDone(Now());
            return true;
        }
        return false;
    }

    bool Click() {
        MEVENT event;
        if (getmouse(&event) != OK || !(event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))) {
            return false;
        }
        const int row = event.y - Top, col = event.x - Left;
        for (const Target& target : targets) {
            if (row == target.row && col >= target.col && col < target.col + target.width) {
                target.tap();
                return true;
            }
        }
        if (OpenPopupMenu()) {
            DismissMenu(Now()); // a tap outside the menu
            return true;
        }
        return false;
    }

    bool Key(int key) {
        if (key == 'q' || key == 3) {
            throw Stop(ExitStopped, "stopped with q at " + FormatTime(Now()));
        }
        if (key == '+' || key == '-') {
            const auto* const end = std::end(Speeds);
            if (key == '+') {
                const auto* faster = std::upper_bound(std::begin(Speeds), end, speed);
                speed = faster != end ? *faster : speed;
            } else {
                const auto* slower = std::lower_bound(std::begin(Speeds), end, speed);
                speed = slower != std::begin(Speeds) ? *(slower - 1) : speed;
            }
            return false;
        }
        if (dark) {
            dark = false; // a key wakes the screen
            return false;
        }
        if (key == KEY_MOUSE) {
            return Click();
        }
        if (const std::optional<MenuView> menu = OpenPopupMenu()) {
            return MenuKey(*menu, key);
        }
        if (key == 'i' && !Icons().empty()) {
            TapIcon(Now());
            return true;
        }
        if (const std::optional<DialogView> view = OpenDialogView()) {
            return DialogKey(*view, key);
        }
        return false;
    }
};

Terminal::Terminal(const Options& options, std::function<void(int)> drawn)
    : impl_(new Impl(options, std::move(drawn))) {
    // A termination request (kill, or the terminal's session ending) ends the run as q does,
    // so that the terminal is given back in the state it was found in.
    CatchTermination();
    initscr();
    raw();
    noecho();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
    mouseinterval(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(Lit, COLOR_BLACK, COLOR_WHITE);
        init_pair(Bar, COLOR_WHITE, COLOR_BLUE);
        init_pair(Dark, COLOR_WHITE, COLOR_BLACK);
    }
}

Terminal::~Terminal() {
    endwin();
    delete impl_;
}

void Terminal::Idle(Millis next) {
    Impl& self = *impl_;
    for (;;) {
        StopWhenTerminated();
        self.Draw();
        // Keys that ncurses has read already come first; then it sleeps until what comes next,
        // or the next minute for the clock in the bar, or a key.
        int key = getch();
        if (key == ERR) {
            pollfd input{STDIN_FILENO, POLLIN, 0};
            int ready = 0;
            WaitInRealTime(next, self.speed, [&input, &ready](std::chrono::milliseconds left) {
                ready =
                    poll(&input, 1, static_cast<int>(std::min<long long>(left.count(), 3600000)));
                return ready != 0;
            });
            StopWhenTerminated();
            if (ready > 0 && (input.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                throw Stop(ExitStopped, "stopped: the terminal went away");
            }
            key = ready != 0 ? getch() : ERR;
        }
        // One action at a time: the device runs it before the next key is read.
        for (; key != ERR; key = getch()) {
            if (self.Key(key)) {
                return;
            }
        }
        if (next >= 0 && Now() >= next) {
            return;
        }
    }
}

void Terminal::Finish(int, const std::string& how) {
    if (Terminated()) {
        return; // nobody is asked for a key by a program that was told to end
    }
    Impl& self = *impl_;
    nodelay(stdscr, FALSE);
    for (;;) {
        self.Draw({how, "Press a key to end."});
        const int key = getch();
        if (key != KEY_RESIZE) { // any key, or the terminal gone (ERR)
            return;
        }
    }
}

} // namespace emu::console

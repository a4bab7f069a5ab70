// The emulated device: test-facing API.
//
// The host build runs a program (its entry point and everything it calls) against the
// platform declared in platform/platform_api.h, implemented here on a virtual clock. The emulator
// knows nothing of the program beyond the platform calls it makes. Tests use this header
// and nothing else of the emulator:
//
//   emu::Reset();                                    // fresh device
//   emu::SetClock(2026, 12, 8, 21, 10, 40);          // the device's local clock
//   emu::ClickRadio(emu::At(21, 10, 45), IDC_WAIT_RADIO);  // script the user ...
//   emu::Type(emu::At(21, 10, 47), IDC_WAIT_MINUTES, L"30");
//   emu::PressDone(emu::At(21, 10, 50));
//   int code = emu::RunProgram(entry, L"");          // ... run the program from its entry point
//   emu::Keys(), emu::Icons(), emu::TimelineText()   // then look at what happened
//
// Time is virtual. Whenever every message loop of the program would wait, the clock jumps
// to the next timer or scripted event, so a night of ten-second checks runs in
// milliseconds. If nothing is left to happen while the program still waits, or a scripted
// action finds nothing to act on (no menu open, no dialog, no icon), or the program is still
// running after too many messages, emu::Failure is thrown: a scenario never hangs.
// RunProgram also throws when scripted events are left over after the program ended.
//
// Scripted events run in the order of their times (equal times in the order scripted),
// each inside whichever message loop the program is in at that moment, as user input and
// other programs' messages arrive on a real device.
#ifndef VELMOT_EMULATOR_DEVICE_H
#define VELMOT_EMULATOR_DEVICE_H

#include "platform/platform_api.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace emu {

// Virtual time: milliseconds since midnight of the day the clock was last set to.
using Millis = int64_t;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The moment hour:minute:second(.ms) on the clock's day, or `day` days after it.
Millis At(int hour, int minute, int second, int day = 0, int ms = 0);
Millis Now();
// "21:10:40", "21:10:40.250", "+1d 06:00:00".
std::string FormatTime(Millis time);

// The device as at boot: no windows, icons, timers, menus, messages or scripted events,
// an empty timeline, the clock at 2026-01-01 00:00:00.
void Reset();
// Sets the local clock (and the day that At() counts from). Only between runs.
void SetClock(int year, int month, int day, int hour, int minute, int second, int ms = 0);

// A program's entry point, as the device's run-time start-up calls it (instance, previous
// instance, command line, show state); it answers the exit code.
using EntryPoint = int (*)(HINSTANCE, HINSTANCE, LPWSTR, int);

// Runs the program from its entry point with this command line until it returns; answers
// its exit code (also recorded in the timeline).
int RunProgram(EntryPoint entry, const std::wstring& commandLine);
HINSTANCE ProgramInstance();

// Where the running program's own resources (those of ProgramInstance()) come from: the
// data of the resource of a type and a name, both numbers, or null when it has none. By
// default, and after Reset(), the resource script compiled into the host build; a runner of
// device images hands over the image's own. Answers the source it replaces.
using ResourceSource = std::function<const unsigned char*(int type, int name, size_t* size)>;
ResourceSource SetProgramResources(ResourceSource source);

// ---- Scripting the user and the world -------------------------------------------------
// Any action at a time; the description goes into the timeline when it runs.
void Script(Millis when, const std::string& description, std::function<void()> action);

// A tap on the notification icon: a pen-down and a pen-up on it, for each of which the shell
// sends the icon's callback message with the mouse message in lParam (WM_LBUTTONDOWN, then
// WM_LBUTTONUP). A menu that the program opens meanwhile runs inside the sent message.
void TapIcon(Millis when);
// One mouse event on the icon alone, sent as its callback message.
void IconMouseEvent(Millis when, UINT mouseMessage);
// The open popup menu: pick an item by command id, or tap outside it.
void ChooseMenuItem(Millis when, UINT commandId);
void DismissMenu(Millis when);
// The open dialog's controls, as a finger on the screen would use them. A disabled
// control takes none of this (the attempt is noted in the timeline).
void Focus(Millis when, int controlId);
void Type(Millis when, int controlId, const std::wstring& text); // focuses, then types
void Clear(Millis when, int controlId);                          // focuses, then erases
void Backspace(Millis when, int controlId); // focuses, then erases the last character
void ClickRadio(Millis when, int controlId);
// The Done button that the shell library puts in the dialog's title bar.
void PressDone(Millis when);
// Another program: finds the window by class and sends or posts it a message.
void SendToWindow(Millis when, const std::wstring& className, UINT message, WPARAM wParam,
                  LPARAM lParam);
void PostToWindow(Millis when, const std::wstring& className, UINT message, WPARAM wParam,
                  LPARAM lParam);
// The shell's low-memory notice: WM_HIBERNATE posted to the visible top-level windows, the
// foreground one last. Invisible windows get none (another program may still send one).
void LowMemory(Millis when);
// Another start of a program while the first runs, from its entry point; its exit code goes
// into the timeline ("second copy exited 0"). The device shares windows, classes and the
// notification area between the two; a program's own memory is the entry point's concern.
void StartSecondCopy(Millis when, EntryPoint entry, const std::wstring& commandLine);
// The same at the worst moment: the instant the running program next makes the named call
// (one of "CreateMutexW", "FindWindowW", "RegisterClassW", "CreateWindowExW"), before the
// call does anything, as a scheduler may switch to another process there.
void StartSecondCopyAt(const std::string& call, EntryPoint entry, const std::wstring& commandLine);
// The shell's notification area is created again (after the shell restarted): every icon
// is gone, and the registered message "TaskbarCreated" is posted to every top-level window.
void RestartShell(Millis when);

// ---- Running the device from outside the scripted world -------------------------------
// By default, whenever every message loop is idle, the clock jumps to the next timer or
// scripted event. An idle handler takes that moment over instead (a person at a terminal,
// say): it is called with the time of the next timer, shell timer or scripted event (-1 when
// there is none) and may sleep in real time, script actions at Now() (they run in whichever
// loop is waiting, as scripted events do), move the clock with AdvanceClock, or end the run by
// throwing Stopped, which RunProgram lets through. When it returns, the loops look again, so a
// handler that changed nothing is called again. While one is set, the message-count limit
// does not apply and nothing left to happen is no failure. Reset() removes it. Answers the
// handler it replaces (null: the clock jumps).
using IdleHandler = std::function<void(Millis next)>;
IdleHandler SetIdleHandler(IdleHandler handler);
// Moves the clock on to `to`: only from an idle handler, never back, never past its `next`.
void AdvanceClock(Millis to);
struct Stopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- What a person would see and what the device did ---------------------------------
struct Entry {
    Millis time;
    std::string text;
};
const std::vector<Entry>& Timeline();
// One line per entry: "<time> <text>".
std::string TimelineText();
// Entries whose text begins with prefix, as "<time> <text>" lines.
std::vector<std::string> TimelineOf(const std::string& prefix);

struct KeyEvent {
    Millis time;
    BYTE virtualKey;
    BYTE scanCode;
    DWORD flags;
    DWORD extraInfo;
};
const std::vector<KeyEvent>& Keys();

struct IconView {
    HWND window;
    UINT id;
    UINT flags;
    UINT callbackMessage;
    std::wstring tip;
    int resourceId; // icon image as loaded: its group, size and colours (0 when none)
    int width;
    int height;
    int colours;
    // The image itself, as its icon resource holds it: a bitmap header (whose height counts
    // the mask too), the colour table, the colour bits and the transparency (AND) mask, rows
    // bottom up, each padded to 4 bytes. Empty when none.
    std::vector<unsigned char> image;
};
std::vector<IconView> Icons(); // the notification area now

struct MenuItemView {
    UINT flags;
    UINT_PTR id;
    std::wstring text;
};
struct MenuView {
    Millis time;
    std::vector<MenuItemView> items;
    UINT flags;
    int x;
    int y;
    HWND owner;
    HWND foreground; // the foreground window as the menu opened
    // Where it is drawn: placed at x,y as its alignment flags say, one line of the system font
    // (12 pixels) for each item and separator, as wide as its longest text (6 pixels a
    // character, mnemonic marks left out) and two characters either side. It is not moved to
    // fit: a menu anchored badly reaches off the screen.
    RECT rect;
};
const std::vector<MenuView>& MenusShown();
// The innermost popup menu open now, as it was shown; none when no menu is open.
std::optional<MenuView> OpenPopupMenu();
int LiveMenus(); // menus created and not yet destroyed

struct ControlView {
    int id; // -1 for an unnamed label
    std::wstring className;
    DWORD style;
    int x, y, cx, cy; // dialog units, as in the template
    std::wstring text;
    bool checked;
    bool enabled;
    bool focused;
};
struct DialogView {
    std::wstring caption;
    DWORD style;
    int x, y, cx, cy; // dialog units, as in the template
    std::wstring font;
    int pointSize;
    RECT screen;      // where the dialog is on the screen
    DWORD shellFlags; // flags it was set up with by the shell library
    std::vector<ControlView> controls;
    const ControlView& Control(int id) const;
};
DialogView CurrentDialog(); // the innermost open dialog; throws Failure when none
// The input panel as a person sees it. SIP_DOWN lowers it only after InputPanelDownDelay, the
// shell's own timer, so that a SIP_UP right after it (focus moving from one edit to the next)
// leaves it up without a flash.
bool InputPanelUp();
constexpr Millis InputPanelDownDelay = 100;

struct WindowView {
    HWND handle;
    std::wstring className;
    std::wstring title;
    DWORD style;
    DWORD exStyle;
    RECT rect;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    bool enabled;
    bool visible; // WS_VISIBLE, or a modal dialog, which is always shown
};
std::vector<WindowView> TopLevelWindows(); // live ones, dialogs included
// The window in front, whose title the navigation bar shows: the innermost open dialog while
// one is open, else the window last brought to the foreground (null when none).
HWND ForegroundWindow();

struct TimerView {
    HWND window;
    UINT_PTR id;
    UINT period;
    Millis due;
};
std::vector<TimerView> Timers();
// Times at which a timer message was retrieved (every retrieval, every timer).
const std::vector<Millis>& TimerMessages();

// The screen of the device, in pixels: the navigation bar at the top, the menu bar (with the
// notification icons at its right end) at the bottom, and the work area between them. The
// screen is portrait QVGA (240 x 320) at boot; a device with a landscape (320 x 240) or square
// (240 x 240) screen is chosen between runs, and the bars keep their heights. Any other size
// throws Failure.
void SetScreenSize(int width, int height);
int ScreenWidth();
int ScreenHeight();
constexpr int NavigationBarHeight = 26;
constexpr int MenuBarHeight = 26;
int MenuBarTop(); // ScreenHeight() - MenuBarHeight
// The input panel, while it is up, lies directly above the menu bar.
constexpr int InputPanelHeight = 80;
// The dialog base units of the system font, in pixels: 4 x 8 dialog units are one base unit,
// the size of a character; a popup menu's lines are one base unit high.
constexpr int BaseUnitWidth = 6;
constexpr int BaseUnitHeight = 12;

// ---- Where things are on the screen ----------------------------------------------------
// The places, in screen pixels, where the device shows what a person taps: a front-end draws
// each thing in its rectangle, and a tap at a pixel (TapAt) reaches what lies there. A
// rectangle holds its left and top edges, not its right and bottom ones.
//
// A dialog control where its template puts it: the dialog's screen rectangle plus its dialog
// units (4 x 8 dialog units are one base unit).
RECT ControlRect(const DialogView& dialog, const ControlView& control);
// Whether the Today screen is in front: no visible window is. The navigation bar then says
// "Start", and the notification icons are seen (and reached by a tap) only then.
bool TodayInFront();
// The navigation bar's ok button at its right end, while the dialog in front asked for a Done
// button; an empty rectangle otherwise.
RECT DoneButtonRect();
// The input panel's button in the middle of the menu bar (a tap on it does nothing here).
RECT InputPanelButtonRect();
// The notification icon at `index` of Icons(): 16 x 16 in the menu bar, the last one at its
// right end and the others to its left, each in a slot of IconSlotWidth pixels.
RECT IconRect(size_t index);
constexpr int IconSlotWidth = 20;
// The input panel's keyboard while the panel is up (none otherwise): 240 x 80 pixels directly
// above the menu bar, centred on a wider screen, four rows of keys: the digits and Backspace;
// the letters; more letters and Enter; Shift, letters and the space bar. A tap on a key types
// its character into the focused edit of the open dialog (a digits-only edit refuses all but
// digits, as on the device); Backspace erases the last character; Shift and Enter do nothing.
struct PanelKey {
    RECT rect;
    std::wstring label; // "\u2190" Backspace, "\u21B5" Enter, "Shift", "" the space bar
    wchar_t types;      // the character typed, '\b' for Backspace, 0 for none
};
std::vector<PanelKey> InputPanelKeys();
constexpr int KeyboardWidth = 240;
// The line of item `index` of a popup menu, within its rectangle.
RECT MenuItemRect(const MenuView& menu, size_t index);
// A tap of the pen at a pixel of the screen (a pen-down and a pen-up there), which reaches what
// the device shows there, in this order: the open popup menu (an enabled item is chosen, a tap
// outside the menu dismisses it); the ok button; a key of the input panel; a notification icon
// on the Today screen (sent its callback message for both events); a control of the open dialog
// (a radio button is clicked, an edit takes the focus). Anywhere else it does nothing. The
// timeline notes what it reached.
void TapAt(Millis when, int x, int y);

} // namespace emu

#endif

// The emulated device's inner state, shared by the emulator's source files only.
#ifndef VELMOT_EMULATOR_INTERNAL_H
#define VELMOT_EMULATOR_INTERNAL_H

#include "emulator/device.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace emu::detail {

enum class Kind { Window, Dialog, Button, Edit, Static };

struct Window {
    HWND handle = nullptr;
    Kind kind = Kind::Window;
    std::wstring className;
    std::wstring title;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {0, 0, 0, 0};
    HWND parent = nullptr; // controls: their dialog
    HWND owner = nullptr;  // dialogs: the window they belong to
    HMENU menu = nullptr;
    HINSTANCE instance = nullptr;
    WNDPROC proc = nullptr;
    bool enabled = true;
    bool visible = false;
    bool alive = true;
    // Controls.
    int id = 0;
    bool checked = false;
    size_t textLimit = 30000; // edits: units the user may type
    // Dialogs.
    DLGPROC dialogProc = nullptr;
    std::vector<HWND> children;
    HWND focus = nullptr;
    bool ended = false;
    int result = 0;
    DWORD shellFlags = 0;
    int tx = 0, ty = 0, tcx = 0, tcy = 0;
    std::wstring font;
    int pointSize = 0;
};

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT period;
    Millis due;
};

struct Menu {
    std::vector<MenuItemView> items;
};

struct Tracking {
    HMENU menu;
    HWND owner;
    size_t shown; // its entry in menusShown
    bool done = false;
    bool chosen = false;
    UINT_PTR choice = 0;
};

struct Scripted {
    Millis when;
    uint64_t order;
    std::string description;
    std::function<void()> action;
};

struct Icon {
    HWND window;
    UINT id;
    UINT flags;
    UINT callbackMessage;
    HICON icon;
    std::wstring tip;
};

struct LoadedIcon {
    int resourceId;
    int width;
    int height;
    int colours;
    std::vector<unsigned char> image; // the image resource's bytes, copied as the device does
};

// A later start of a program, run the moment the running one makes a given call.
struct Preemption {
    std::string call;
    std::string description;
    std::function<void()> action;
};

// A handle of a process to a named mutex.
struct MutexHandle {
    int process;
    std::wstring name;
};

struct State {
    int64_t baseDay = 0; // days since 1970-01-01 of the day At() counts from
    Millis now = 0;

    std::map<std::wstring, WNDCLASSW> classes; // by lower-case name
    std::map<std::wstring, int> classOwners;   // the process that registered each (0: none)
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    uintptr_t nextWindow = 0x1000;

    std::deque<MSG> posted;
    // Where the pen last touched the screen, as each message records it: at boot, the middle.
    int screenWidth = 240;
    int screenHeight = 320;
    POINT pen = {screenWidth / 2, screenHeight / 2};
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    uint64_t retrievals = 0;

    std::map<uintptr_t, Menu> menus;
    uintptr_t nextMenu = 0x5000;
    std::vector<Tracking*> tracking;
    std::vector<HWND> dialogs; // open modal dialogs, innermost last

    std::vector<Scripted> scripted;
    uint64_t nextOrder = 0;

    std::vector<Icon> icons;
    std::map<uintptr_t, LoadedIcon> loadedIcons;
    ResourceSource resources; // null: the compiled resource script
    struct FoundResource {
        const unsigned char* data;
        size_t size;
    };
    std::map<uintptr_t, FoundResource> foundResources;
    uintptr_t nextResource = 0xB000;
    uintptr_t nextIcon = 0x9000;
    bool inputPanelUp = false;
    Millis inputPanelDownAt = -1; // the shell's timer that lowers the panel; -1: none
    HWND foreground = nullptr;
    bool running = false;
    IdleHandler idle;     // null: the clock jumps to what comes next
    Millis idleNext = -1; // what the idle handler was told comes next

    // Processes: the one whose entry point runs now is the last; the handles each holds.
    std::vector<int> processes;
    int nextProcess = 1;
    std::map<uintptr_t, MutexHandle> handles;
    uintptr_t nextHandle = 0x7000;
    DWORD lastError = 0;
    std::map<std::wstring, UINT> registeredMessages; // by lower-case name
    std::vector<Preemption> preemptions;

    std::vector<Entry> timeline;
    std::vector<KeyEvent> keys;
    std::vector<MenuView> menusShown;
    std::vector<Millis> timerMessages;
};

State& S();

// Timeline.
void Note(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Hex(unsigned long long value);

// Processes: runs a program's entry point as a process of its own, whose handles are
// closed when it ends; and runs a later start that waits for the running program's call.
int RunProcess(EntryPoint entry, const std::wstring& commandLine);
void Preempt(const char* call);

// Windows and messages.
std::wstring Lower(LPCWSTR text);
Window* Find(HWND handle); // live windows only
Window& Require(HWND handle, const char* what);
HWND NewWindow(std::unique_ptr<Window> window);
LRESULT Call(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// Next message for the thread's loops. Runs scripted events and moves the clock on while
// waiting. A modal loop passes its end condition, checked after each scripted event.
enum class Next { Message, Quit, LoopEnded };
Next NextMessage(MSG* msg, const std::function<bool()>& loopEnded = nullptr);
// The shell's own timer: lowers the input panel when it is due. Answers whether it did.
bool LowerInputPanelWhenDue();

// Dialogs.
LRESULT DialogWindowProc(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ControlWindowProc(Window& control, UINT message, WPARAM wParam, LPARAM lParam);
void SetFocusTo(Window& dialog, HWND control);
Window& OpenDialog(const char* action);

// The person's actions as they happen (the scripted ones and a tap at a pixel run these).
void FocusNow(int controlId);
void TypeNow(int controlId, const std::wstring& text);
void BackspaceNow(int controlId);
void ClickRadioNow(int controlId);
void PressDoneNow();
void TapIconNow(size_t index); // the icon at this place of the notification area
void ChooseMenuItemNow(UINT commandId);
void DismissMenuNow();

} // namespace emu::detail

#endif

// The program's parts as the whole program shows them, started through its entry point on
// both builds: the dialog from its template and its shell set-up, the input panel, the
// icon's record, and the menu's items and place.
#include "resources/resource.h"
#include "scenario.h"

#include <iterator>
#include <memory>

using emu::At;
using test::Lines;

namespace {

class ProgramThroughItsEntry : public test::Scenario {};
INSTANTIATE_SCENARIOS(ProgramThroughItsEntry);

TEST_P(ProgramThroughItsEntry, DialogFromItsTemplateSetUpFullScreen) {
    auto view = test::LookAtDialog(At(10, 0, 1));
    emu::PressDone(At(10, 0, 2));
    QuitAt(At(10, 0, 30));
    RunToEnd(L"");

    EXPECT_EQ(view->caption, L"Set");
    EXPECT_EQ(view->style, 0x80800040u);
    EXPECT_EQ(view->x, 0);
    EXPECT_EQ(view->y, 0);
    EXPECT_EQ(view->cx, 136);
    EXPECT_EQ(view->cy, 146);
    EXPECT_EQ(view->font, L"System");
    EXPECT_EQ(view->pointSize, 9);
    // A Done button, full screen below the navigation bar, the input panel put down.
    EXPECT_EQ(view->shellFlags, 13u);
    EXPECT_EQ(view->screen.left, 0);
    EXPECT_EQ(view->screen.top, emu::NavigationBarHeight);
    EXPECT_EQ(view->screen.right, emu::ScreenWidth());
    EXPECT_EQ(view->screen.bottom, emu::ScreenHeight());
    struct Row {
        int id;
        const wchar_t* className;
        DWORD style;
        int x, y, cx, cy;
        const wchar_t* text;
        bool checked, enabled, focused;
    };
    const Row table[] = {
        {1002, L"Button", 0x50000009, 5, 5, 75, 10, L"Time to suspend", true, true, false},
        {1003, L"Button", 0x50000009, 5, 45, 75, 10, L"Wait to suspend", false, true, false},
        {1001, L"Edit", 0x50812080, 5, 20, 25, 15, L"0", false, true, true},
        {-1, L"Static", 0x50020001, 32, 23, 10, 10, L":", false, true, false},
        {1000, L"Edit", 0x50812080, 45, 20, 25, 15, L"0", false, true, false},
        {1005, L"Edit", 0x50812080, 5, 60, 25, 15, L"0", false, false, false},
        {-1, L"Static", 0x50020000, 35, 63, 35, 10, L"hours and", false, true, false},
        {1004, L"Edit", 0x50812080, 75, 60, 25, 15, L"0", false, false, false},
        {-1, L"Static", 0x50020000, 104, 63, 30, 10, L"minutes", false, true, false},
    };
    ASSERT_EQ(view->controls.size(), std::size(table));
    for (size_t i = 0; i < std::size(table); ++i) {
        SCOPED_TRACE(i);
        const emu::ControlView& control = view->controls[i];
        const Row& row = table[i];
        EXPECT_EQ(control.id, row.id);
        EXPECT_EQ(control.className, row.className);
        EXPECT_EQ(control.style, row.style);
        EXPECT_EQ(control.x, row.x);
        EXPECT_EQ(control.y, row.y);
        EXPECT_EQ(control.cx, row.cx);
        EXPECT_EQ(control.cy, row.cy);
        EXPECT_EQ(control.text, row.text);
        EXPECT_EQ(control.checked, row.checked);
        EXPECT_EQ(control.enabled, row.enabled);
        EXPECT_EQ(control.focused, row.focused);
    }
}

// Up while an edit has the focus, down when it leaves the edits; moving from one edit to
// another leaves it up, since the shell lowers it only after its delay.
TEST_P(ProgramThroughItsEntry, InputPanelFollowsTheFocus) {
    emu::Focus(At(10, 0, 1), IDC_TIME_MINUTE);
    emu::ClickRadio(At(10, 0, 2), IDC_WAIT_RADIO);
    emu::Focus(At(10, 0, 3), IDC_WAIT_HOURS);
    emu::ClickRadio(At(10, 0, 4), IDC_TIME_RADIO);
    emu::Focus(At(10, 0, 5), IDC_TIME_HOUR);
    emu::PressDone(At(10, 0, 6));
    QuitAt(At(10, 0, 30));
    RunToEnd(L"");
    EXPECT_FALSE(emu::InputPanelUp());
    EXPECT_EQ(emu::TimelineOf("input panel"),
              (Lines{// opened with the focus in the first edit
                     "10:00:00 input panel up",
                     // onto a radio button, then an edit again
                     "10:00:02.100 input panel down", "10:00:03 input panel up",
                     "10:00:04.100 input panel down", "10:00:05 input panel up",
                     // Done
                     "10:00:06.100 input panel down"}));
}

TEST_P(ProgramThroughItsEntry, IconRecordAndTheMenuAtTheMenuBar) {
    auto icons = std::make_shared<std::vector<emu::IconView>>();
    emu::Script(At(10, 0, 1), "look at the icons", [icons] { *icons = emu::Icons(); });
    emu::TapIcon(At(10, 0, 5));
    emu::ChooseMenuItem(At(10, 0, 6), IDM_EXIT);
    RunToEnd(L"/W 1:0");

    const HWND main = emu::MenusShown().at(0).owner;
    ASSERT_EQ(icons->size(), 1u);
    const emu::IconView& icon = (*icons)[0];
    EXPECT_EQ(icon.window, main);
    EXPECT_EQ(icon.id, 1u);
    EXPECT_EQ(icon.flags, 7u);
    EXPECT_EQ(icon.callbackMessage, 1125u);
    EXPECT_EQ(icon.tip, L"Velmot");
    EXPECT_EQ(icon.resourceId, 101);
    EXPECT_EQ(icon.width, 16);
    EXPECT_EQ(icon.height, 16);
    EXPECT_EQ(icon.colours, 16);
    EXPECT_EQ(emu::TimelineOf("icon removed"), Lines{"10:00:06 icon removed: id 1"});

    // Anchored at the hidden window's bottom-right corner: the top of the menu bar, where
    // the icon is; its owner in the foreground, so that a tap elsewhere closes it.
    ASSERT_EQ(emu::MenusShown().size(), 1u);
    const emu::MenuView& menu = emu::MenusShown()[0];
    EXPECT_EQ(menu.flags, 0x28u);
    EXPECT_EQ(menu.x, emu::ScreenWidth());
    EXPECT_EQ(menu.y, emu::MenuBarTop());
    EXPECT_EQ(menu.foreground, main);
    const UINT flags[] = {0, MF_SEPARATOR, 0, 0};
    const UINT_PTR ids[] = {40001, 0, 40002, 40003};
    const wchar_t* texts[] = {L"&Set", L"", L"Sus&pend", L"&Exit application"};
    ASSERT_EQ(menu.items.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(menu.items[i].flags, flags[i]);
        EXPECT_EQ(menu.items[i].id, ids[i]);
        EXPECT_EQ(menu.items[i].text, texts[i]);
    }
}

// Portrait, landscape and square screens: the full-screen dialog keeps every control inside
// what is seen of it below the navigation bar, and the icon's menu opens on the screen.
TEST_P(ProgramThroughItsEntry, EveryScreenShapeShowsTheDialogAndTheMenuWhole) {
    struct Size {
        int cx, cy;
    };
    for (const Size size : {Size{240, 320}, Size{320, 240}, Size{240, 240}}) {
        SCOPED_TRACE(std::to_string(size.cx) + " x " + std::to_string(size.cy));
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
        emu::SetScreenSize(size.cx, size.cy);
        auto view = test::LookAtDialog(At(10, 0, 1));
        emu::PressDone(At(10, 0, 2));
        emu::TapIcon(At(10, 0, 5));
        emu::ChooseMenuItem(At(10, 0, 6), IDM_EXIT);
        RunToEnd(L"");

        const RECT seen = {0, emu::NavigationBarHeight, size.cx, size.cy};
        EXPECT_EQ(view->screen.left, seen.left);
        EXPECT_EQ(view->screen.top, seen.top);
        EXPECT_EQ(view->screen.right, seen.right);
        EXPECT_EQ(view->screen.bottom, seen.bottom);
        ASSERT_FALSE(view->controls.empty());
        for (const emu::ControlView& control : view->controls) {
            SCOPED_TRACE("control at " + std::to_string(control.x) + "," +
                         std::to_string(control.y));
            // Dialog units to pixels: a base unit is 4 x 8 dialog units.
            const LONG left = view->screen.left + control.x * emu::BaseUnitWidth / 4;
            const LONG top = view->screen.top + control.y * emu::BaseUnitHeight / 8;
            EXPECT_GE(left, seen.left);
            EXPECT_GE(top, seen.top);
            EXPECT_LE(left + control.cx * emu::BaseUnitWidth / 4, seen.right);
            EXPECT_LE(top + control.cy * emu::BaseUnitHeight / 8, seen.bottom);
        }
        ASSERT_EQ(emu::MenusShown().size(), 1u);
        const RECT menu = emu::MenusShown()[0].rect;
        EXPECT_GE(menu.left, 0);
        EXPECT_GE(menu.top, emu::NavigationBarHeight);
        EXPECT_LE(menu.right, size.cx);
        EXPECT_LE(menu.bottom, emu::MenuBarTop());
        EXPECT_GT(menu.right - menu.left, 0);
        EXPECT_GT(menu.bottom - menu.top, 0);
    }
}

} // namespace

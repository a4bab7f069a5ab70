// The emulated device's screen in terminal cells: one cell is one dialog base unit, 4 x 8
// dialog units or 6 x 12 pixels, so a template's controls land where the template puts them.
#include "emulator/console/layout.h"

#include <gtest/gtest.h>

namespace {

using emu::console::Cells;
using emu::console::ControlCells;

void ExpectCells(const Cells& cells, int col, int row, int width, int height) {
    EXPECT_EQ(cells.col, col);
    EXPECT_EQ(cells.row, row);
    EXPECT_EQ(cells.width, width);
    EXPECT_EQ(cells.height, height);
}

TEST(ConsoleLayout, TheScreenAndItsBarsInCells) {
    EXPECT_EQ(emu::console::ScreenColumns(), 40);
    EXPECT_EQ(emu::console::ScreenRows(), 27); // 26 2/3 rounded up
    EXPECT_EQ(emu::console::NavigationBarRow(), 0);
    EXPECT_EQ(emu::console::MenuBarRow(), 26);
    ExpectCells(emu::console::InputPanelCells(), 0, 17, 40, 7); // pixels 214 to 294
}

TEST(ConsoleLayout, LandscapeAndSquareScreens) {
    emu::Reset();
    emu::SetScreenSize(320, 240);
    EXPECT_EQ(emu::console::ScreenColumns(), 54); // 53 1/3 rounded up
    EXPECT_EQ(emu::console::ScreenRows(), 20);
    EXPECT_EQ(emu::console::MenuBarRow(), 19);
    ExpectCells(emu::console::InputPanelCells(), 0, 11, 54, 6); // pixels 134 to 214
    emu::SetScreenSize(240, 240);
    EXPECT_EQ(emu::console::ScreenColumns(), 40);
    EXPECT_EQ(emu::console::ScreenRows(), 20);
    emu::Reset();
}

// A full-screen dialog below the navigation bar, and one placed elsewhere.
TEST(ConsoleLayout, ControlsLandWhereTheirTemplatePutsThem) {
    const RECT fullScreen = {0, emu::NavigationBarHeight, 240, 320};
    ExpectCells(ControlCells(fullScreen, 5, 5, 75, 10), 1, 2, 19, 1);
    ExpectCells(ControlCells(fullScreen, 5, 20, 25, 15), 1, 4, 6, 2);
    ExpectCells(ControlCells(fullScreen, 32, 23, 10, 10), 8, 4, 2, 2);
    ExpectCells(ControlCells(fullScreen, 104, 63, 30, 10), 26, 9, 7, 2);
    const RECT placed = {60, 120, 180, 240};
    ExpectCells(ControlCells(placed, 0, 0, 2, 3), 10, 10, 1, 1); // at least one cell
}

} // namespace

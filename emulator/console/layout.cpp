// Where the emulated device's screen lands in a terminal.
#include "emulator/console/layout.h"

#include <algorithm>

namespace emu::console {

namespace {

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

} // namespace

int ScreenColumns() {
    return CeilDiv(ScreenWidth(), CellWidth);
}

int ScreenRows() {
    return CeilDiv(ScreenHeight(), CellHeight);
}

int Column(int x) {
    return x / CellWidth;
}

int Row(int y) {
    return y / CellHeight;
}

int NavigationBarRow() {
    return 0;
}

int MenuBarRow() {
    return ScreenRows() - 1;
}

Cells InputPanelCells() {
    const int top = Row(MenuBarTop() - InputPanelHeight);
    return {0, top, ScreenColumns(), std::max(1, Row(MenuBarTop()) - top)};
}

Cells PixelCells(const RECT& rect) {
    const int col = Column(rect.left), row = Row(rect.top);
    return {col, row, std::max(1, Column(rect.right) - col), std::max(1, Row(rect.bottom) - row)};
}

Cells ControlCells(const RECT& dialogScreen, int x, int y, int cx, int cy) {
    const int col = Column(dialogScreen.left) + x / DialogUnitsPerCellX;
    const int row = Row(dialogScreen.top) + y / DialogUnitsPerCellY;
    const int right = Column(dialogScreen.left) + (x + cx) / DialogUnitsPerCellX;
    const int bottom = Row(dialogScreen.top) + (y + cy) / DialogUnitsPerCellY;
    return {col, row, std::max(1, right - col), std::max(1, bottom - row)};
}

} // namespace emu::console

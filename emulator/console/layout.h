// Where the emulated device's screen lands in a terminal: one cell is one dialog base unit of
// the device's system font, 6 x 12 pixels or 4 x 8 dialog units. The geometry of the screen
// is read here and nowhere else in the console.
#ifndef VELMOT_EMULATOR_CONSOLE_LAYOUT_H
#define VELMOT_EMULATOR_CONSOLE_LAYOUT_H

#include "emulator/device.h"

namespace emu::console {

constexpr int CellWidth = BaseUnitWidth;   // pixels
constexpr int CellHeight = BaseUnitHeight; // pixels
constexpr int DialogUnitsPerCellX = 4;
constexpr int DialogUnitsPerCellY = 8;

// A rectangle of cells.
struct Cells {
    int col;
    int row;
    int width;
    int height;
};

// The screen in cells, a part of a cell counting as a whole one: 40 x 27 for 240 x 320,
// 54 x 20 for 320 x 240, 40 x 20 for 240 x 240.
int ScreenColumns();
int ScreenRows();
// The cell that holds a pixel.
int Column(int x);
int Row(int y);
// The rows of the bars and of the input panel.
int NavigationBarRow();
int MenuBarRow();
Cells InputPanelCells();
// A rectangle of pixels (a menu's, say).
Cells PixelCells(const RECT& rect);
// A dialog control at its template place: the dialog's screen rectangle (pixels) plus the
// control's dialog units; at least one cell each way.
Cells ControlCells(const RECT& dialogScreen, int x, int y, int cx, int cy);

} // namespace emu::console

#endif

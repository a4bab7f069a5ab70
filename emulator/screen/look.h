// How the emulated Pocket PC looks in pixels: its colours, fonts and the sizes of what the
// renderer draws, in one place. Where places on the screen matter to a tap, they come from the
// emulator (device.h), not from here.
//
// Microsoft publishes no colour table for the default Pocket PC 2002 theme: the colours of the
// bars are assumed (a dark blue navigation bar with white text, light gray bars below); the
// system colours are a common Windows CE default table.
#ifndef VELMOT_EMULATOR_SCREEN_LOOK_H
#define VELMOT_EMULATOR_SCREEN_LOOK_H

#include "emulator/device.h"

#include <cstdint>

namespace emu::screen::look {

using Colour = uint32_t; // 0xRRGGBB

// System colours (GetSysColor).
constexpr Colour Window = 0xFFFFFF;
constexpr Colour WindowText = 0x000000;
constexpr Colour Highlight = 0x000080;
constexpr Colour HighlightText = 0xFFFFFF;
constexpr Colour GrayText = 0x808080;
constexpr Colour ButtonFace = 0xD4D0C8;
constexpr Colour ButtonShadow = 0x808080;
// The shell's theme (assumed).
constexpr Colour NavigationBar = 0x0A246A;
constexpr Colour NavigationText = 0xFFFFFF;
constexpr Colour MenuBar = ButtonFace;
constexpr Colour MenuBarRule = ButtonShadow;
constexpr Colour InputPanel = ButtonFace;
constexpr Colour Key = 0xFFFFFF;
constexpr Colour KeyEdge = ButtonShadow;
constexpr Colour TodayRule = ButtonShadow;
constexpr Colour DisplayOff = 0x000000;
// The Start flag's four panes: top left, top right, bottom left, bottom right.
constexpr Colour FlagPanes[4] = {0xF25022, 0x7FBA00, 0x00A4EF, 0xFFB900};

// Fonts: Wine's Tahoma (Debian's fonts-wine), which has Tahoma's metrics, rasterised by
// FreeType without anti-aliasing, as the device draws text; sizes in pixels at the device's
// 96 dpi (8 point is 11 pixels).
constexpr const char* Regular = "/usr/share/wine/fonts/tahoma.ttf";
constexpr const char* Bold = "/usr/share/wine/fonts/tahomabd.ttf";
constexpr double DialogText = 11; // 8 point: dialog controls, keys, the Today screen
constexpr double MenuText = 12;   // 9 point: popup menus
constexpr double TitleText = 12;  // 9 point bold: the navigation bar's title, clock and ok

// Sizes in pixels.
constexpr int FlagSize = 16;     // the Start flag, at the left of the navigation bar
constexpr int BarTextInset = 6;  // text from the ends of the bars
constexpr int RadioSize = 11;    // a radio button's circle: the text's height
constexpr int RadioDot = 5;      // the dot of the chosen one
constexpr int RadioTextGap = 4;  // from the circle to the text
constexpr int EditTextInset = 3; // an edit's text from its left edge
// A menu item's text from the menu's left edge: two characters, as the emulator sizes menus.
constexpr int MenuTextInset = 2 * BaseUnitWidth;
constexpr int TodayDateTop = 6; // the Today screen's date below the navigation bar

} // namespace emu::screen::look

#endif

// The emulated Pocket PC's screen in pixels, drawn from the emulator's live state as the
// device's window manager and shell draw it: the navigation bar (Start flag, the title of the
// window in front, the clock, ok), the open dialog's controls painted flat, the input panel's
// keyboard, the menu bar with the notification icons (each from its own image, with its
// transparency mask), the open popup menu, the Today screen when no window is in front, and
// the display off after the power-off key. Text is Tahoma-metric (Wine's Tahoma, FreeType),
// drawn with cairo. It uses the emulator's API only (device.h) and knows nothing of the
// program, so any program's dialog, menu and icons draw the same way; every thing lies in the
// rectangle at which the emulator's geometry has a tap reach it.
//
//   emu::screen::Renderer screen;       // loads the fonts
//   if (screen.Draw()) {                // something changed since the last frame
//       screen.WritePng("frame.png");   // a PNG of the screen's size
//   }
#ifndef VELMOT_EMULATOR_SCREEN_SCREEN_H
#define VELMOT_EMULATOR_SCREEN_SCREEN_H

#include "emulator/device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace emu::screen {

// What a front-end shows of the person beside the device's state: the popup menu's item that
// the keys (the device's navigation pad) have selected.
struct Pointer {
    int menuItem = -1; // index into the open menu's items; -1: none
};

// A decoded icon image, rows top down: each pixel's colour (0xRRGGBB) and whether its mask bit
// is set. The device draws an icon as (screen AND mask) XOR colour: where the mask is set the
// screen shows through (XORed with the colour, which is black in an ordinary icon).
struct IconPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colours;
    std::vector<bool> masked;
};
IconPixels DecodeIcon(const std::vector<unsigned char>& image);

class Renderer {
  public:
    // Loads the fonts; throws Failure, naming the file, when one is missing.
    Renderer();
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Draws the screen as the device shows it now, when anything on it differs from the last
    // frame drawn (or the screen's size changed); answers whether it drew.
    bool Draw(const Pointer& pointer = {});
    // Makes the next Draw draw, changed or not (a front-end that lost its copy of the frame).
    void Invalidate();
    // The last frame drawn: its size (the device's screen) and a pixel, 0xRRGGBB.
    int Width() const;
    int Height() const;
    uint32_t Pixel(int x, int y) const;
    // The last frame as a PNG file's bytes, or written to a file (throws Failure when it
    // cannot be written).
    std::vector<unsigned char> Png() const;
    void WritePng(const std::string& path) const;
    // How many frames have been drawn.
    int Frames() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace emu::screen

#endif

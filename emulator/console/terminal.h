// The run in a terminal: the emulated device's screen drawn with ncurses from the emulator's
// live state, and the person's keys and clicks turned into taps at the device's time.
#ifndef VELMOT_EMULATOR_CONSOLE_TERMINAL_H
#define VELMOT_EMULATOR_CONSOLE_TERMINAL_H

#include "emulator/frontend/frontend.h"

namespace emu::console {

using frontend::Options;

// The run in a terminal: draws the device and takes the person's keys (terminal.cpp).
class Terminal : public frontend::FrontEnd {
  public:
    // `drawn` is called after each drawing of the screen with the open menu's selected item
    // (-1: none), for the pictures.
    Terminal(const Options& options, std::function<void(int menuSelection)> drawn = nullptr);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    void Idle(Millis next) override;
    // The last screen: how the run ended; waits for a key.
    void Finish(int code, const std::string& how) override;

  private:
    struct Impl;
    Impl* impl_;
};

} // namespace emu::console

#endif

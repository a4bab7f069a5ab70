// The emulated Pocket PC in a web browser: the device's screen, drawn by the pixel renderer,
// served on the loopback address with its timeline, its clock and its speed, and worked with
// the mouse as with a stylus and with the keyboard (server.h says what the server accepts and
// refuses). The run loop is the device's idle handler, as in the terminal: it publishes what
// changed, waits in real time (times the speed) for what comes next or for a person's action,
// and runs each action on the device. It uses the emulator's API, the renderer and the
// server only, and knows nothing of the program it runs.
#ifndef VELMOT_EMULATOR_WEB_WEB_H
#define VELMOT_EMULATOR_WEB_WEB_H

#include "emulator/frontend/frontend.h"

#include <memory>
#include <string>

namespace emu::web {

// The port that --web serves on when none is given.
constexpr int DefaultPort = 8240;

class Browser : public frontend::FrontEnd {
  public:
    // Starts the server on 127.0.0.1:port and prints its address as the first line of the
    // standard output; throws frontend::Stop (ExitUsage) when it cannot listen there.
    Browser(const frontend::Options& options, int port);
    ~Browser() override;
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    // The idle handler.
    void Idle(Millis next) override;
    // Tells every open page how the run ended, then returns once they all have been told, or
    // after a few seconds when none is open.
    void Finish(int code, const std::string& how) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace emu::web

#endif

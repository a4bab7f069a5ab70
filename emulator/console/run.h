// What the console's two ways of running the device share: the options, the timeline as it
// happens, and how a run is stopped.
#ifndef VELMOT_EMULATOR_CONSOLE_RUN_H
#define VELMOT_EMULATOR_CONSOLE_RUN_H

#include "emulator/device.h"

#include <cstdio>
#include <optional>
#include <string>

namespace emu::console {

struct Options {
    std::string image; // the device image; empty: the host build handed over
    std::string name;  // the program, as the screen names it
    int at = -1;       // seconds after midnight at the start; -1: local time
    int width = 240;   // the device\'s screen, in pixels
    int height = 320;
    double speed = 0;  // 0: not given
    double hours = 48; // piped runs stop after this much device time
    bool noUi = false;
    std::string timeline; // a file to write the timeline to, or empty
    std::string hint = "a command line that needs none";
    std::wstring commandLine;
};

// Stops the run from the idle handler with an exit code and a sentence saying why.
struct Stop : Stopped {
    Stop(int exitCode, const std::string& why) : Stopped(why), code(exitCode) {}
    int code;
};

// The timeline's entries not handed out yet, to a file (and a stream) as they come.
class TimelineFeed {
  public:
    explicit TimelineFeed(const std::string& path);
    ~TimelineFeed();
    TimelineFeed(const TimelineFeed&) = delete;
    TimelineFeed& operator=(const TimelineFeed&) = delete;
    // Writes the new entries to the file, and to `also` when given.
    void Flush(std::FILE* also = nullptr);

  private:
    std::FILE* file_ = nullptr;
    size_t written_ = 0;
};

// "hh:mm" of a device time, the hour without a leading zero.
std::string ClockText(Millis time);
// The dialog open now, if any.
std::optional<DialogView> OpenDialogView();

// The run in a terminal: draws the device and takes the person's keys (terminal.cpp).
class Terminal {
  public:
    explicit Terminal(const Options& options);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    // The idle handler.
    void Idle(Millis next);
    // The last screen: how the run ended; waits for a key.
    void Finish(const std::string& how);

  private:
    struct Impl;
    Impl* impl_;
};

} // namespace emu::console

#endif

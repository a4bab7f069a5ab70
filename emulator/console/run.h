// What the console's two ways of running the device share: the options, the timeline as it
// happens, and how a run is stopped.
#ifndef VELMOT_EMULATOR_CONSOLE_RUN_H
#define VELMOT_EMULATOR_CONSOLE_RUN_H

#include "emulator/device.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace emu::console {

struct Options {
    std::string image; // the device image; empty: the host build handed over
    std::string name;  // the program, as the screen names it
    int at = -1;       // seconds after midnight at the start; -1: local time
    int year = 0;      // the date at the start (--at with a date); 0: this machine's
    int month = 0;
    int day = 0;
    int width = 240; // the device\'s screen, in pixels
    int height = 320;
    double speed = 0;  // 0: not given
    double hours = 48; // piped runs stop after this much device time
    bool noUi = false;
    std::string timeline; // a file to write the timeline to, or empty
    std::string pictures; // a folder to write the screen's pictures to, or empty
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

// The screen's pictures (--pictures DIR): a PNG each time what the screen shows changes, named
// in order with the device time ("0007-21.10.52.474.png"), at the screen's own size.
class Pictures {
  public:
    // Makes the folder when it is missing; throws Stop (ExitUsage) when it cannot, or when the
    // fonts are missing.
    explicit Pictures(const std::string& folder);
    ~Pictures();
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;
    // Writes a picture when the screen changed; throws Stop when it cannot be written.
    void Take(int menuSelection = -1);
    // The last picture written ("" before the first).
    const std::string& Last() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "hh:mm" of a device time, the hour without a leading zero.
std::string ClockText(Millis time);
// The dialog open now, if any.
std::optional<DialogView> OpenDialogView();

// The run in a terminal: draws the device and takes the person's keys (terminal.cpp).
class Terminal {
  public:
    // `drawn` is called after each drawing of the screen with the open menu's selected item
    // (-1: none), for the pictures.
    Terminal(const Options& options, std::function<void(int menuSelection)> drawn = nullptr);
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

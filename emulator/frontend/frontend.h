// The emulated Pocket PC run for a person or through a pipe: a program's entry point on the
// emulated device, shown in a terminal (emulator/console, ncurses) or in a web browser
// (emulator/web) while a person works it, or its timeline printed line by line when nobody
// can. What the ways of running it share lives here: the options, the device's clock and its
// speed, the timeline as it happens, the screen's pictures, and how a run ends. It uses the
// emulator's API, the runner and the renderer only, and knows nothing of the program it runs.
//
//   pocketpc_console [options] --image FILE [command line]   the device image's ARM code
//   (a host build hands its own entry point to Main instead of --image)
//
// Options: --at [YYYY-MM-DDT]HH:MM[:SS] (the clock's start, and its date when given; default
// this machine's local date and time),
// --screen WIDTHxHEIGHT (240x320, the default, 320x240 or 240x240),
// --speed N (the clock's speed; in a terminal or on the web x1 by default, piped: virtual
// time),
// --hours N (piped: the device time after which a run that goes on is stopped; 48),
// --no-ui (no screen even in a terminal), --web [PORT] (the device served to a web browser at
// http://127.0.0.1:PORT/, 8240 by default), --timeline FILE (the timeline written there as it
// happens), --pictures DIR (a PNG of the screen, drawn in pixels, each time what it shows
// changes), --hint TEXT (what to give when nobody can answer a dialog).
#ifndef VELMOT_EMULATOR_FRONTEND_FRONTEND_H
#define VELMOT_EMULATOR_FRONTEND_FRONTEND_H

#include "emulator/device.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace emu::frontend {

// Exit codes of the front-ends' own (otherwise the program's exit code).
constexpr int ExitUsage = 2;       // a wrong option, or a device image the loader refuses
constexpr int ExitNobody = 3;      // piped: the program waits for a person (a dialog, a menu)
constexpr int ExitFailure = 4;     // the emulated device failed (emu::Failure)
constexpr int ExitTimeLimit = 124; // piped: still running after --hours of device time
constexpr int ExitStopped = 130;   // ended with q (or Ctrl+C)
// Ended by a signal (SIGINT, SIGTERM, SIGHUP): 128 + the signal's number, 130, 143 or 129.

// The clock's speeds that a person chooses from, slowest first.
constexpr int Speeds[] = {1, 10, 60, 600};

// Runs the device; `hostBuild` is the program's entry when it is linked in (a host build),
// null when it comes from --image. `name` names it on the screen.
int Main(int argc, char** argv, EntryPoint hostBuild, const char* name);

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
    int webPort = 0;   // --web: the port to serve the device on; 0: not on the web
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

// A way of showing the device to a person, who works it: the terminal, or the web page.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // The device's idle handler: shows what changed, waits in real time (times the speed) for
    // what comes next or the person's next action, and runs that action.
    virtual void Idle(Millis next) = 0;
    // Shows how the run ended, with the exit code, and returns when the person has seen it.
    virtual void Finish(int code, const std::string& how) = 0;
};

// Termination requests (SIGINT, SIGTERM, SIGHUP) end the run as q does, with exit code 128 +
// the signal: from this call on, each is noted, and StopWhenTerminated throws the Stop.
void CatchTermination();
void StopWhenTerminated();
// Whether a termination request has come.
bool Terminated();

// Waits in real time, at the clock's speed, for the device's next due time (`next`; -1:
// none) or the next minute (the clock in the bar), or until `wait`, given the real time left,
// says that a person acted; then advances the device's clock by the time waited.
void WaitInRealTime(Millis next, double speed,
                    const std::function<bool(std::chrono::milliseconds)>& wait);

} // namespace emu::frontend

#endif

// The emulated Pocket PC run from a terminal or a pipe: a program's entry point on the
// emulated device, with the device's screen drawn in the terminal (ncurses) while a person
// works it, or its timeline printed line by line when nobody can. It uses the emulator's API
// and the runner only, and knows nothing of the program it runs.
//
//   pocketpc_console [options] --image FILE [command line]   the device image's ARM code
//   (a host build hands its own entry point to Main instead of --image)
//
// Options: --at [YYYY-MM-DDT]HH:MM[:SS] (the clock's start, and its date when given; default
// this machine's local date and time),
// --screen WIDTHxHEIGHT (240x320, the default, 320x240 or 240x240),
// --speed N (the clock's speed; in a terminal x1 by default, piped: virtual time),
// --hours N (piped: the device time after which a run that goes on is stopped; 48),
// --no-ui (no screen even in a terminal), --timeline FILE (the timeline written there as
// it happens), --pictures DIR (a PNG of the screen, drawn in pixels, each time what it shows
// changes), --hint TEXT (what to give when nobody can answer a dialog).
#ifndef VELMOT_EMULATOR_CONSOLE_CONSOLE_H
#define VELMOT_EMULATOR_CONSOLE_CONSOLE_H

#include "emulator/device.h"

namespace emu::console {

// Exit codes of the console's own (otherwise the program's exit code).
constexpr int ExitUsage = 2;       // a wrong option, or a device image the loader refuses
constexpr int ExitNobody = 3;      // piped: the program waits for a person (a dialog, a menu)
constexpr int ExitFailure = 4;     // the emulated device failed (emu::Failure)
constexpr int ExitTimeLimit = 124; // piped: still running after --hours of device time
constexpr int ExitStopped = 130;   // ended with q (or Ctrl+C) in the terminal
// Ended by SIGTERM or SIGHUP in the terminal: 128 + the signal's number, 143 or 129.

// Runs the console; `hostBuild` is the program's entry when it is linked in (a host build),
// null when it comes from --image. `name` names it on the screen.
int Main(int argc, char** argv, EntryPoint hostBuild, const char* name);

} // namespace emu::console

#endif

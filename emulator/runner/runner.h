// Runs a Windows CE ARM executable on the emulated device, as the device would start it:
//
//   emu::runner::LoadProgram("build/device/velmot.exe");  // refused as the device refuses
//   emu::RunProgram(emu::runner::StartProgram, L"/W 1:30");
//
// Each start is a process of its own: the image mapped afresh, its imports bound, its
// entry called with WinMain's four arguments (the instance, 0, the command line in the
// program's memory, SW_SHOW). While it runs, the program's resources are the image's own.
#ifndef VELMOT_EMULATOR_RUNNER_RUNNER_H
#define VELMOT_EMULATOR_RUNNER_RUNNER_H

#include "emulator/device.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emu::runner {

// The program that StartProgram starts; throws Failure when the device's loader would
// refuse it (its headers, its sections, an import that the emulator lacks).
void LoadProgram(const std::string& path);
void LoadProgram(std::vector<uint8_t> file);

// An entry point (emu::EntryPoint) that starts the loaded program as a new process.
int StartProgram(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showState);

} // namespace emu::runner

#endif

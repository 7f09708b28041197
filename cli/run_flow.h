// One run of the program: start-up scan, argument scan, open (ten attempts), one action, close.
#pragma once

#include <cstdio>

#include "cli/discovery.h"

namespace ralvex::cli {

inline constexpr int OPEN_ATTEMPTS = 10;
inline constexpr DWORD OPEN_RETRY_PAUSE_MS = 100;

// Where a run writes and how it reaches the devices; tests substitute their own.
struct RunEnvironment {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  ListDevicesFunction listDevices = FT_ListDevices;
};

// Runs the program on argv[0..argc-1] and returns its exit code.
int RunProgram(int argc, const char* const* argv, const RunEnvironment& environment = {});

}  // namespace ralvex::cli

// One run of the program: start-up scan, argument scan, open (ten attempts), one action, close.
#pragma once

#include <cstdio>

#include "testers/discovery.h"

namespace ralvex::cli {
// Discovery and the tester choice live in testers/, which ralvex-lab shares; the front end uses
// their names as its own.
using namespace ralvex::testers;
}  // namespace ralvex::cli

namespace ralvex::cli {

// Where a run writes and how it reaches the devices; tests substitute their own.
struct RunEnvironment {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  ListDevicesFunction listDevices = FT_ListDevices;
};

// Runs the program on argv[0..argc-1] and returns its exit code.
int RunProgram(int argc, const char* const* argv, const RunEnvironment& environment = {});

}  // namespace ralvex::cli

// One run of ralvex-lab: the command line, the start-up scan, the tester choice (as ralvex makes
// it), the open, then the status snapshot or the log.
#pragma once

#include <cstdio>

#include "lab/serve_options.h"
#include "lab/stop_signals.h"
#include "testers/discovery.h"

namespace ralvex::lab {

// Where a run writes and how it reaches the devices; tests substitute their own.
struct LabEnvironment {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  testers::ListDevicesFunction listDevices = FT_ListDevices;
  bool errIsTerminal = false;  // the progress line is drawn only on a terminal
  const StopRequests* stop = nullptr;
  // Called once the tester is open, just before the command: from then on SIGINT and SIGTERM only
  // ask the run to stop. Before it, nothing has changed on the tester and a signal may end the
  // program as it would any other.
  void (*armStop)() = nullptr;
  // `serve`, where this build has it (null: the command says it is not part of the build).
  int (*serve)(const ServeOptions& options, const LabEnvironment& environment) = nullptr;
};

int RunLab(int argc, const char* const* argv, const LabEnvironment& environment);

}  // namespace ralvex::lab

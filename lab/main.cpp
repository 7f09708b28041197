// The ralvex-lab program. Elsewhere than on Windows the devices are chosen by RALVEX_BENCH before
// the run begins, as for ralvex: the machine's real bridge ports when it is unset or empty, else a
// bench.
#include <cstdio>

#include "lab/lab_run.h"
#include "lab/stop_signals.h"

#ifdef RALVEX_LAB_SERVE
#include "lab/serve/serve_run.h"
#endif

#ifdef _WIN32
#include <io.h>
#define RALVEX_LAB_ISATTY _isatty
#else
#include <unistd.h>

#include "glue/device_source.h"
#define RALVEX_LAB_ISATTY isatty
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
  ralvex::glue::AttachDevicesForProgram(stderr);
#endif
  ralvex::lab::LabEnvironment environment;
  environment.armStop = ralvex::lab::InstallStopHandlers;
  environment.errIsTerminal = RALVEX_LAB_ISATTY(2) != 0;
  environment.stop = &ralvex::lab::ProcessStopRequests();
#ifdef RALVEX_LAB_SERVE
  environment.serve = ralvex::lab::RunServe;
#endif
  return ralvex::lab::RunLab(argc, argv, environment);
}

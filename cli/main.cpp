// The ralvex program. Elsewhere than on Windows the devices are chosen by RALVEX_BENCH before the
// run begins: the machine's real bridge ports when it is unset or empty, else a bench.
#include <cstdio>

#include "cli/run_flow.h"

#ifndef _WIN32
#include "glue/device_source.h"
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
  ralvex::glue::AttachDevicesForProgram(stderr);
#endif
  return ralvex::cli::RunProgram(argc, argv);
}

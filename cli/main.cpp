// The ralvex program. Elsewhere than on Windows the devices are chosen by RALVEX_BENCH before the
// run begins: the machine's real bridge ports when it is unset or empty, else a bench.
#include <cstdio>
#include <string>

#include "cli/run_flow.h"

#ifndef _WIN32
#include "glue/device_source.h"
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
  std::string error;
  if (!ralvex::glue::AttachDevicesFromEnvironment(&error)) {
    // The run goes on with what could be attached and ends as any run that finds no tester.
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
  }
#endif
  return ralvex::cli::RunProgram(argc, argv);
}

// The ralvex program. Elsewhere than on Windows the devices come from the bench that RALVEX_BENCH
// names (none when it is unset), attached before the run begins.
#include <cstdio>
#include <string>

#include "cli/run_flow.h"

#ifndef _WIN32
#include "sim/bench.h"
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
  std::string error;
  if (!ralvex::sim::AttachBenchFromEnvironment(&error)) {
    // The run goes on without devices and ends as any run that finds no tester.
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
  }
#endif
  return ralvex::cli::RunProgram(argc, argv);
}

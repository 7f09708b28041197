// Load-time glue of the shared bridge library on POSIX systems: attaches the bench that
// RALVEX_BENCH names, so that an outside program linked against the library finds simulated
// devices without any hardware.
#include <cstdio>
#include <string>

#include "sim/bench.h"

namespace {

__attribute__((constructor)) void AttachBenchAtLoad() {
  std::string error;
  if (!ralvex::sim::AttachBenchFromEnvironment(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
  }
}

}  // namespace

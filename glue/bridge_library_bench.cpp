// Load-time glue of the shared bridge library on POSIX systems: attaches the devices that
// RALVEX_BENCH chooses (the machine's real ones when it is unset, else a bench), so that an
// outside program linked against the library sees them without further set-up.
#include <cstdio>
#include <string>

#include "glue/device_source.h"

namespace {

__attribute__((constructor)) void AttachDevicesAtLoad() {
  std::string error;
  if (!ralvex::glue::AttachDevicesFromEnvironment(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
  }
}

}  // namespace

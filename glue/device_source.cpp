#include "glue/device_source.h"

#include <cstdlib>

#include "hostdev/host_bus.h"
#include "sim/bench.h"

namespace ralvex::glue {

bool AttachDevicesFromEnvironment(std::string* error) {
  const char* bench = std::getenv("RALVEX_BENCH");
  if (bench == nullptr || *bench == '\0') return hostdev::AttachHostBusFromEnvironment(error);
  return sim::AttachBenchFromEnvironment(error);
}

void AttachDevicesForProgram(std::FILE* err) {
  std::string error;
  if (AttachDevicesFromEnvironment(&error)) return;
  std::fprintf(err, "%s\n", error.c_str());
  std::fflush(err);
}

}  // namespace ralvex::glue

#include "lab/stop_signals.h"

#include <csignal>

namespace ralvex::lab {

namespace {

StopRequests processRequests;

extern "C" void CountStopRequest(int signal) {
  // SIGTERM asks once for all: a second one must not skip the load's reset.
  if (signal == SIGTERM && processRequests.Stopping()) return;
  processRequests.Request();
}

}  // namespace

StopRequests& ProcessStopRequests() {
  return processRequests;
}

void InstallStopHandlers() {
  std::signal(SIGINT, CountStopRequest);
  std::signal(SIGTERM, CountStopRequest);
}

}  // namespace ralvex::lab

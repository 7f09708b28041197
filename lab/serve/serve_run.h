// `ralvex-lab serve`: the start-up scan, a sampler for every tester found, the HTTP server, a scan
// every two seconds for testers that appear, until SIGINT or SIGTERM; then every load set over
// HTTP back to 0 mA, the ports closed, and exit 0. A listening address that cannot be had ends it
// at once with exit 1.
#pragma once

#include "lab/lab_clock.h"
#include "lab/lab_run.h"
#include "lab/serve_options.h"

namespace ralvex::lab {

inline constexpr Millis RESCAN_PERIOD{2000};

int RunServe(const ServeOptions& options, const LabEnvironment& environment);

}  // namespace ralvex::lab

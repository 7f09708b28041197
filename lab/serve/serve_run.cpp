#include "lab/serve/serve_run.h"

#include <thread>

#include "lab/lab_options.h"
#include "lab/sample_logger.h"
#include "lab/serve/http_server.h"
#include "lab/serve/live_page.h"
#include "lab/serve/sampler_set.h"

namespace ralvex::lab {

namespace {

std::string Url(const std::string& host, uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}

// Until a stop is asked for: looks every 100 ms, scans for new testers every two seconds.
void ServeUntilStopped(SamplerSet& samplers, const StopRequests& stop,
                       testers::ListDevicesFunction listDevices) {
  auto nextScan = std::chrono::steady_clock::now() + RESCAN_PERIOD;
  testers::TesterList list;
  while (!stop.Stopping()) {
    std::this_thread::sleep_for(STOP_CHECK_PERIOD);
    if (std::chrono::steady_clock::now() < nextScan) continue;
    samplers.Add(list, testers::ScanTesters(list, listDevices));
    nextScan += RESCAN_PERIOD;
  }
}

}  // namespace

int RunServe(const ServeOptions& options, const LabEnvironment& env) {
  const SamplerTiming timing{Millis(options.intervalMs), std::chrono::seconds(options.historyS)};
  SamplerSet samplers([](const std::string& serial) { return std::make_unique<LinkPort>(serial); },
                      timing, env.err);
  const ControlPolicy policy{options.allowControl, options.token};
  const std::string page = LivePage(options.historyS);
  HttpServer server([&](const ApiRequest& request) {
    return HandleApi(request, ApiContext{samplers, policy, page});
  });
  std::string error;
  if (!server.Bind(options.host, options.port, &error)) {
    std::fprintf(env.err, "Error: %s.\n", error.c_str());
    return LAB_EXIT_INVALID_COMMAND_LINE;
  }
  testers::TesterList list;
  const std::size_t found = testers::StartupScan(list, env.listDevices);
  samplers.Add(list, found);
  if (env.armStop != nullptr) env.armStop();
  server.Start();
  std::fprintf(env.err, "Serving %zu tester(s) on %s\n", found,
               Url(options.host, server.Port()).c_str());
  std::fflush(env.err);

  StopRequests never;
  ServeUntilStopped(samplers, env.stop != nullptr ? *env.stop : never, env.listDevices);
  samplers.StopAll();  // first: loads back to 0 mA while control requests are still refused
  server.Stop();
  return LAB_EXIT_DONE;
}

}  // namespace ralvex::lab

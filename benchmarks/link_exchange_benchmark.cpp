// One GetStats exchange through the whole stack: the link lock, the frame, the I/O thread's
// overlapped write and reads through the access layer, the simulated bridge device and the
// emulated tester, the receive parser, the reply event and the decoding.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "link/tester_link.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/tester/tester_peer.h"

namespace {

void GetStatsExchange(benchmark::State& state) {
  const std::string serial = "KORA0001";
  std::string error;
  std::shared_ptr<ralvex::sim::SerialPeer> tester =
      ralvex::sim::MakeTesterPeer(nullptr, serial, "", &error);
  if (!tester) {
    state.SkipWithError(("no emulated tester: " + error).c_str());
    return;
  }
  ralvex::sim::Bench bench;
  ralvex::sim::BridgeDeviceConfig config;
  config.serial = serial;
  bench.AddDevice(config, tester);

  ralvex::link::TesterLink link;
  if (!link.Open(serial.c_str())) {
    state.SkipWithError("the tester did not open");
    return;
  }
  ralvex::link::StatsReply stats{};
  int64_t failures = 0;
  for (auto _ : state) {
    if (!link.GetStats(stats)) ++failures;
    benchmark::DoNotOptimize(stats);
  }
  link.Close();
  state.counters["failures"] = static_cast<double>(failures);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GetStatsExchange)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// Back-to-back GetStats exchanges through the whole stack: the link lock, the frame, the I/O
// thread's overlapped write and reads through the access layer, the simulated bridge device and
// the emulated tester, the receive parser, the reply event and the decoding. Run on the bare
// bench and on the wire model, where the line's bytes and the bridge's USB packets take their
// time; there the rate is shown next to what the wire alone would allow.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "link/io_context.h"
#include "link/tester_link.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/tester/tester_peer.h"

namespace {

// A stats exchange moves the 5-byte request and the 15-byte reply, 10 bits a byte on the line.
constexpr double STATS_EXCHANGE_BYTES = 5 + 15;
constexpr double WIRE_EXCHANGES_PER_SECOND =
    ralvex::link::LINK_BAUD_RATE / (10.0 * STATS_EXCHANGE_BYTES);

constexpr const char* SERIAL = "KORA0001";

// Puts the default emulated tester on `bench`; false (and the benchmark skipped) when it cannot be
// made.
bool AddTester(ralvex::sim::Bench& bench, bool wireModel, benchmark::State& state) {
  std::string error;
  std::shared_ptr<ralvex::sim::SerialPeer> tester =
      ralvex::sim::MakeTesterPeer(nullptr, SERIAL, "", &error);
  if (!tester) {
    state.SkipWithError(("no emulated tester: " + error).c_str());
    return false;
  }
  ralvex::sim::BridgeDeviceConfig config;
  config.serial = SERIAL;
  config.wireModel = wireModel;
  bench.AddDevice(config, tester);
  return true;
}

void GetStatsExchange(benchmark::State& state) {
  const bool wireModel = state.range(0) != 0;
  ralvex::sim::Bench bench;
  if (!AddTester(bench, wireModel, state)) return;

  ralvex::link::TesterLink link;
  if (!link.Open(SERIAL)) {
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
  state.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  if (wireModel) state.counters["wire_limit_per_s"] = WIRE_EXCHANGES_PER_SECOND;
}
BENCHMARK(GetStatsExchange)
    ->ArgName("wire_model")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// What `ralvex -s` does with the link: open (greeting and four settings), read the stats, close.
// Its 82 bytes need 7.1 ms on the line at 115200 Bd; the rest is the program's and the bench's.
constexpr double SESSION_BYTES = 34 + 48;

void StatsSessionOnTheWire(benchmark::State& state) {
  ralvex::sim::Bench bench;
  if (!AddTester(bench, true, state)) return;

  int64_t failures = 0;
  for (auto _ : state) {
    ralvex::link::TesterLink link;
    ralvex::link::StatsReply stats{};
    if (!link.Open(SERIAL) || !link.GetStats(stats)) ++failures;
    link.Close();
  }
  state.counters["failures"] = static_cast<double>(failures);
  state.counters["wire_ms"] = SESSION_BYTES * 10 * 1000 / ralvex::link::LINK_BAUD_RATE;
}
BENCHMARK(StatsSessionOnTheWire)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

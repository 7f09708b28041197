// FT_ListDevices by index: the front end's per-device serial-number query (enumerate, open,
// ask, close) against a bench of simulated devices.
#include <benchmark/benchmark.h>

#include <string>

#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"

namespace {

void BM_ListDevicesByIndex(benchmark::State& state) {
  ralvex::sim::Bench bench;
  const int devices = static_cast<int>(state.range(0));
  for (int i = 0; i < devices; ++i) {
    ralvex::sim::BridgeDeviceConfig config;
    config.serial = "KORA" + std::to_string(1000 + i);
    bench.AddDevice(config);
  }
  // The last device: the enumeration walks past every other one.
  const uintptr_t index = static_cast<uintptr_t>(devices - 1);
  char serial[16];
  for (auto _ : state) {
    const FT_STATUS status = FT_ListDevices(reinterpret_cast<PVOID>(index), serial,
                                            FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    if (status != FT_OK) state.SkipWithError("FT_ListDevices failed");
    benchmark::DoNotOptimize(serial);
  }
}
BENCHMARK(BM_ListDevicesByIndex)->Arg(1)->Arg(8);

void BM_ListDevicesNumberOnly(benchmark::State& state) {
  ralvex::sim::Bench bench;
  for (int i = 0; i < 8; ++i) {
    ralvex::sim::BridgeDeviceConfig config;
    config.serial = "KORA" + std::to_string(2000 + i);
    bench.AddDevice(config);
  }
  DWORD count = 0;
  for (auto _ : state) {
    FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_ListDevicesNumberOnly);

}  // namespace

BENCHMARK_MAIN();

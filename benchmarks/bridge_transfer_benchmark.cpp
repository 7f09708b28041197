// Synchronous round trip through the access layer: FT_Write of a frame-sized block to a simulated
// bridge device with a loopback plug, then FT_Read of the same count back.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"

namespace {

void BM_WriteReadRoundTrip(benchmark::State& state) {
  ralvex::sim::Bench bench;
  ralvex::sim::BridgeDeviceConfig config;
  config.serial = "BENCH001";
  bench.AddDevice(config, std::make_shared<ralvex::sim::LoopbackPeer>());
  FT_HANDLE handle = nullptr;
  if (FT_Open(0, &handle) != FT_OK || FT_SetTimeouts(handle, 1000, 1000) != FT_OK) {
    state.SkipWithError("cannot open the loopback device");
    return;
  }
  const auto length = static_cast<DWORD>(state.range(0));
  std::vector<uint8_t> out(length), in(length);
  for (DWORD i = 0; i < length; ++i) {
    out[i] = static_cast<uint8_t>(i);
  }
  for (auto _ : state) {
    DWORD written = 0;
    DWORD read = 0;
    if (FT_Write(handle, out.data(), length, &written) != FT_OK ||
        FT_Read(handle, in.data(), length, &read) != FT_OK || read != length) {
      state.SkipWithError("round trip failed");
      break;
    }
    benchmark::DoNotOptimize(in.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length * 2);
  FT_Close(handle);
}
BENCHMARK(BM_WriteReadRoundTrip)->Arg(1)->Arg(5)->Arg(64)->Arg(4096)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Programming and verifying whole EEPROM images in-process through the exported functions: a
// 64-word 232R image and a 1024-word X series image (erase, every word written, every word read
// back; the X series also reads the 958 words it preserves first).
#include <benchmark/benchmark.h>

#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"

namespace {

template <typename Record>
void ProgramImage(benchmark::State& state, ralvex::sim::ChipFamily chip, FT_DEVICE type) {
  ralvex::sim::Bench bench;
  ralvex::sim::BridgeDeviceConfig config;
  config.serial = "BENCH001";
  config.chip = chip;
  bench.AddDevice(config);
  FT_HANDLE handle = nullptr;
  if (FT_Open(0, &handle) != FT_OK) {
    state.SkipWithError("cannot open the device");
    return;
  }
  Record record{};
  record.common.deviceType = type;
  record.common.VendorId = 0x1209;
  record.common.ProductId = 0x0001;
  record.common.MaxPower = 100;
  for (auto _ : state) {
    if (FT_EEPROM_Program(handle, &record, sizeof record, "Ralvex", "RX", "Bench", "RX000001") !=
        FT_OK) {
      state.SkipWithError("programming failed");
      break;
    }
  }
  FT_Close(handle);
}

void BM_Program232R64Words(benchmark::State& state) {
  ProgramImage<FT_EEPROM_232R>(state, ralvex::sim::CHIP_232R, FT_DEVICE_232R);
}
BENCHMARK(BM_Program232R64Words)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProgramXSeries1024Words(benchmark::State& state) {
  ProgramImage<FT_EEPROM_X_SERIES>(state, ralvex::sim::CHIP_X_SERIES, FT_DEVICE_X_SERIES);
}
BENCHMARK(BM_ProgramXSeries1024Words)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Bench files given arbitrary TOML text: the reader accepts or refuses each with one error line;
// an accepted layout is built into a bench (devices, peers, testers) and torn down again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "sim/bench.h"
#include "sim/bench_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ralvex::sim;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  BenchLayout layout;
  std::string error;
  if (!ParseBenchText(text, "fuzz.toml", "", &layout, &error)) {
    // Refused with exactly one line.
    if (error.empty() || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (layout.devices.size() > BENCH_MAX_DEVICES) std::abort();
  // Nothing may persist between inputs.
  layout.statePath.clear();
  std::unique_ptr<Bench> bench = BuildBench(layout, &error);
  if (!bench && (error.empty() || error.find('\n') != std::string::npos)) std::abort();
  return 0;
}

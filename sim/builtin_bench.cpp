#include "sim/builtin_bench.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ralvex::sim {
namespace {

constexpr std::string_view BUILTIN_BENCH_TEXT =
    R"(# The built-in bench: one tester on a 232R bridge.
[[device]]
serial = "KORA4VLH7Y"
description = "PD Tester"
chip = "232R"
peer = "tester"

[device.tester]
version_level = 21
profiles = [
  { type = "PD-FIX", voltage = 5000, current = 3000 },
  { type = "PD-FIX", voltage = 9000, current = 3000 },
  { type = "PD-FIX", voltage = 15000, current = 3000 },
  { type = "PD-FIX", voltage = 20000, current = 2250 },
  { type = "PD-APDO", min_voltage = 3300, voltage = 11000, current = 3000 },
]
)";

// An environment folder counts only when it is absolute, as the base-directory convention asks.
std::filesystem::path AbsoluteFolder(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return {};
  std::filesystem::path folder(value);
  return folder.is_absolute() ? folder : std::filesystem::path();
}

}  // namespace

std::string_view BuiltinBenchText() {
  return BUILTIN_BENCH_TEXT;
}

std::string BuiltinStatePath() {
  std::filesystem::path base = AbsoluteFolder("XDG_STATE_HOME");
  if (base.empty()) {
    const std::filesystem::path home = AbsoluteFolder("HOME");
    if (home.empty()) return {};
    base = home / ".local" / "state";
  }
  const std::filesystem::path folder = base / "ralvex";
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure || !std::filesystem::is_directory(folder, failure)) return {};
  return (folder / "builtin.state.toml").string();
}

bool LoadBuiltinBench(BenchLayout* layout, std::string* error) {
  if (!ParseBenchText(BuiltinBenchText(), "builtin", "", layout, error)) return false;
  layout->statePath = BuiltinStatePath();
  return true;
}

}  // namespace ralvex::sim

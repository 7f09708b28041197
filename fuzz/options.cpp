// The argument scan and its validation given arbitrary argument vectors. The first input byte says
// how many testers the stub start-up list holds (0 to its capacity); the rest is split on NUL
// bytes into the arguments after the program name.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/actions.h"
#include "cli/options.h"

namespace {

std::FILE* Sink() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ralvex::cli;
  if (size == 0 || Sink() == nullptr) return 0;

  TesterList testers;
  testers.count = data[0] % (TESTER_LIST_CAPACITY + 1);
  for (std::size_t i = 0; i < testers.count; ++i) {
    std::snprintf(testers.serials[i], TESTER_SERIAL_SIZE, "KORA%04uX",
                  static_cast<unsigned>(i % 10000));
  }

  std::vector<std::string> arguments(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back().push_back(static_cast<char>(data[i]));
    }
  }
  std::vector<const char*> argv = {"ralvex"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  RunOptions options;
  const ScanResult result =
      ScanArguments(static_cast<int>(argv.size()), argv.data(), testers, options, Sink());
  if (result.outcome == SCAN_RUN) {
    // A run only goes on with values inside their limits.
    const bool valid = options.load <= 5000 && options.defaultVoltage <= 21000 &&
                       options.defaultLoad <= 5000 && options.maxLoad <= 5000 &&
                       (options.action != SetChosenProfile || options.profileIndex >= 1);
    if (!valid) std::abort();
  }
  return 0;
}

// `ralvex-lab verify`'s options: its CLI11 registration and their checks, kept apart from the
// other commands' so that an option sharing a name with theirs is still its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace CLI {
class App;
}

namespace ralvex::lab {

struct VerifyOptions {
  uint32_t cableMilliohm = 100;  // a typical 3 A cable; 0 takes the readings as the source's
  uint16_t ppsStepMv = 500;      // a ranged profile's sweep step, on the 20 mV grid
  uint32_t settleMs = 500;
  uint32_t holdMs = 1000;
  uint32_t contractTimeoutMs = 1000;
  uint32_t recoverTimeoutMs = 5000;
  std::string jsonPath;  // empty: none
  std::string htmlPath;  // empty: none
};

// The number options as given, read once the command line is parsed.
struct VerifyOptionText {
  std::string cable, ppsStep, settle, hold, contractTimeout, recoverTimeout;
};

// Registers the command and its options on `app`; the file options go straight to `options`.
CLI::App* AddVerifyCommand(CLI::App& app, VerifyOptions& options, VerifyOptionText& text);

// Checks and stores the numbers given to `verify`; 0 when all are good, else the command-line exit
// code after the error line on `err`.
int StoreVerifyOptions(const CLI::App& verify, const VerifyOptionText& text, VerifyOptions& options,
                       std::FILE* err);

}  // namespace ralvex::lab

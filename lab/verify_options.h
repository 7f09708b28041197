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

// Registers `verify` on the program; after the parse, Store reads its options. The command keeps
// the text of its options, so the object must outlive the parse.
class VerifyCommand {
 public:
  explicit VerifyCommand(CLI::App& app);
  VerifyCommand(const VerifyCommand&) = delete;
  VerifyCommand& operator=(const VerifyCommand&) = delete;

  bool Parsed() const;
  // 0 with the options filled in, else the command-line exit code after the error line.
  int Store(VerifyOptions& options, std::FILE* err) const;

 private:
  CLI::App* command_;
  std::string cable_, ppsStep_, settle_, hold_, contractTimeout_, recoverTimeout_, json_, html_;
};

}  // namespace ralvex::lab

// The capacity command's options: the load to draw, optionally the profile (and a ranged
// profile's voltage) to draw it on, and what ends the run besides the source giving out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "lab/log/row_sink.h"

namespace CLI {
class App;
}

namespace ralvex::lab {

struct CapacityOptions {
  uint16_t loadMa = 0;
  std::optional<uint8_t> profile;
  std::optional<uint16_t> voltageMv;  // for a ranged profile
  std::optional<uint16_t> cutoffMv;
  std::optional<double> maxDurationS;
  uint32_t recoverTimeoutMs = 5000;  // a contract down longer than this: the source gave out
  LogFormat format = LOG_CSV;
  std::string output;  // the log rows; empty: none are written
  std::string json;    // the report as JSON; empty: none
};

// Registers `capacity`; Store reads its options after the parse (the object keeps their text, so
// it must outlive the parse).
class CapacityCommand {
 public:
  explicit CapacityCommand(CLI::App& app);
  CapacityCommand(const CapacityCommand&) = delete;
  CapacityCommand& operator=(const CapacityCommand&) = delete;

  bool Parsed() const;
  // 0 with the options filled in, else the command-line exit code after the error line.
  int Store(CapacityOptions& options, std::FILE* err) const;

 private:
  CLI::App* command_;
  std::string load_, profile_, voltage_, cutoff_, maxDuration_, recover_, format_ = "csv";
  std::string output_, json_;
};

}  // namespace ralvex::lab

// What a verification found, as a person reads it (a table of the checks and the overall verdict
// line) and as a program does (one JSON object, schema "ralvex.verify/1").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lab/verify_checks.h"
#include "lab/verify_options.h"

namespace ralvex::lab {

inline constexpr const char VERIFY_SCHEMA[] = "ralvex.verify/1";

struct VerifyReport {
  std::string serial;
  std::size_t index = 0;
  uint8_t versionLevel = 0;
  std::string started;  // UTC
  double durationS = 0;
  VerifyOptions settings;
  std::vector<ProfilePlan> profiles;
  std::vector<CheckRow> checks;
  std::string ended;  // why the run stopped short ("interrupted", ...); empty when it went through
};

CheckVerdict ReportVerdict(const VerifyReport& report);

// The overall verdict in one line: "Verdict: fail (7 of 29 checks failed, ...)".
std::string VerdictLine(const VerifyReport& report);

void PrintVerifyTable(std::FILE* out, const VerifyReport& report);
std::string VerifyJson(const VerifyReport& report);

}  // namespace ralvex::lab

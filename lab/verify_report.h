// What a verification found, as a person reads it (a table of the checks and the overall verdict
// line) and as a program does (one JSON object, schema "ralvex.verify/1").
#pragma once

#include <array>
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

// How many checks passed, failed and could not be made, and why the run stopped short.
std::string CountsText(const VerifyReport& report);
// The overall verdict in one line: "Verdict: fail (7 of 29 checks failed, ...)".
std::string VerdictLine(const VerifyReport& report);

// A check's measured and limit columns as the table shows them, rounded to the millivolt: mean,
// min, max, low, high, margin; "-" where the check has none.
std::array<std::string, 6> NumberCells(const CheckRow& row);

// The limits' rule in one sentence, naming the cable's resistance.
std::string LimitsNote(const VerifyReport& report);

// The table in three parts, so that its rows can be printed as the checks are made: the head,
// one row per check, and the limits' note with the verdict line.
void PrintTableHead(std::FILE* out);
void PrintTableRow(std::FILE* out, const CheckRow& row);
void PrintTableEnd(std::FILE* out, const VerifyReport& report);
std::string VerifyJson(const VerifyReport& report);

}  // namespace ralvex::lab

// `ralvex-lab status`: one snapshot of the tester (serial, position, firmware level), its contract,
// the source's profiles and the measurements, printed as a short report or as one JSON object
// (schema "ralvex.status/1").
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "link/commands.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

inline constexpr const char STATUS_SCHEMA[] = "ralvex.status/1";

struct StatusSnapshot {
  std::string serial;
  std::size_t index = 0;
  uint8_t versionLevel = 0;
  link::ConnectionReply contract{};
  link::ProfileList profiles{};
  link::StatsReply stats{};
};

// Three exchanges; false at the first that fails.
bool TakeSnapshot(testers::TesterSession& tester, StatusSnapshot& snapshot);

// The JSON object, and as text (indented by two).
nlohmann::json StatusObject(const StatusSnapshot& snapshot);
std::string StatusJson(const StatusSnapshot& snapshot);
void PrintStatusText(std::FILE* out, const StatusSnapshot& snapshot);

}  // namespace ralvex::lab

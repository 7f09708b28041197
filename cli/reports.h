// The LABEL:value reports of -c, -p and -s. Each line is written to `out` and flushed.
#pragma once

#include <cstdint>
#include <cstdio>

#include "link/commands.h"

namespace ralvex::cli {

void PrintConnectionReport(std::FILE* out, const link::ConnectionReply& reply);
// Ranged profiles show their range only when versionLevel is at least
// link::RANGED_DETAILS_MIN_VERSION; below that they print "Unknown profile".
void PrintProfileReport(std::FILE* out, const link::ProfileList& list, uint8_t versionLevel);
void PrintStatsReport(std::FILE* out, const link::StatsReply& reply);

}  // namespace ralvex::cli

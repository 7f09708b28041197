#include "cli/reports.h"

#include <cstdarg>

#include "testers/profile_types.h"

namespace ralvex::cli {

namespace {

// Every report line goes out at once so a caller reading the pipe sees it without waiting.
// The compiler checks each format against its arguments.
__attribute__((format(printf, 2, 3))) void Line(std::FILE* out, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  std::fflush(out);
}

}  // namespace

void PrintConnectionReport(std::FILE* out, const link::ConnectionReply& reply) {
  if (reply.status != 1) {
    Line(out, "STATUS:NOT CONNECTED\n");
    return;
  }
  Line(out, "STATUS:CONNECTED\n");
  Line(out, "PROFILE INDEX:%u\n", static_cast<unsigned>(reply.profileIndex));
  Line(out, "PROFILE TYPE:%s\n",
       testers::ProfileTypeName(reply.profileClass, reply.profileSubtype));
  Line(out, "SET VOLTAGE:%umV\n", static_cast<unsigned>(reply.setVoltage));
  Line(out, "MAX CURRENT:%umA\n", static_cast<unsigned>(reply.maxCurrent));
  Line(out, "MAX POWER:%lumW\n", static_cast<unsigned long>(reply.maxPower));
}

void PrintProfileReport(std::FILE* out, const link::ProfileList& list, uint8_t versionLevel) {
  Line(out, "NUM PROFILES:%u\n", static_cast<unsigned>(list.count));
  // A count above the record's seven entries shows only the entries that exist.
  const std::size_t shown = link::UsableProfileCount(list);
  for (std::size_t i = 0; i < shown; ++i) {
    const link::ProfileEntry& e = list.entries[i];
    const unsigned number = static_cast<unsigned>(i + 1);
    const char* name = testers::ProfileTypeName(link::ProfileClassOf(e.descriptor),
                                                link::ProfileSubtypeOf(e.descriptor));
    if (!link::IsRangedProfile(e)) {
      Line(out, "INDEX:%u,TYPE:%s,V:%umV,I:%umA\n", number, name, static_cast<unsigned>(e.voltage),
           static_cast<unsigned>(e.current));
    } else if (versionLevel >= link::RANGED_DETAILS_MIN_VERSION) {
      Line(out, "INDEX:%u,TYPE:%s,V:%u-%umV,I:%umA\n", number, name,
           static_cast<unsigned>(e.minVoltage), static_cast<unsigned>(e.voltage),
           static_cast<unsigned>(e.current));
    } else {
      Line(out, "Unknown profile\n");
    }
  }
}

void PrintStatsReport(std::FILE* out, const link::StatsReply& reply) {
  Line(out, "TEMP:%uC\n", static_cast<unsigned>(reply.temperature));
  Line(out, "VOLTAGE:%umV\n", static_cast<unsigned>(reply.voltage));
  Line(out, "SET CURRENT:%umA\n", static_cast<unsigned>(reply.setCurrent));
  Line(out, "MEASURED CURRENT:%umA\n", static_cast<unsigned>(reply.measuredCurrent));
  Line(out, "LOOPBACK CURRENT:%umA\n", static_cast<unsigned>(reply.loopbackCurrent));
}

}  // namespace ralvex::cli

#include "cli/actions.h"

#include "cli/reports.h"
#include "cli/usage.h"

namespace ralvex::cli {

ProfileRequest PlanProfileRequest(const link::ProfileList& list, std::uint8_t profileIndex,
                                  std::uint16_t profileVoltage) {
  const link::ProfileEntry* entry = link::FindProfile(list, profileIndex);
  if (entry == nullptr) return {false, 0, 0};
  return {true, link::ProfileIdOf(entry->descriptor),
          link::SetProfileVoltage(*entry, profileVoltage)};
}

int ReportConnection(TesterSession& session, const RunOptions&, std::FILE* out, std::FILE*) {
  // Left zeroed when the tester does not answer: the report then reads NOT CONNECTED.
  link::ConnectionReply reply = {};
  session.GetConnection(reply);
  PrintConnectionReport(out, reply);
  return RUN_EXIT_SUCCEEDED;
}

int ReportProfiles(TesterSession& session, const RunOptions&, std::FILE* out, std::FILE*) {
  link::ProfileList list = {};
  session.GetProfiles(list);
  PrintProfileReport(out, list, session.VersionLevel());
  return RUN_EXIT_SUCCEEDED;
}

int ReportStats(TesterSession& session, const RunOptions&, std::FILE* out, std::FILE*) {
  // Left zeroed when the tester does not answer: every reading then shows 0.
  link::StatsReply stats = {};
  session.GetStats(stats);
  PrintStatsReport(out, stats);
  return RUN_EXIT_SUCCEEDED;
}

int SetChosenProfile(TesterSession& session, const RunOptions& options, std::FILE*,
                     std::FILE* err) {
  link::ProfileList list = {};
  session.GetProfiles(list);
  const ProfileRequest request =
      PlanProfileRequest(list, options.profileIndex, options.profileVoltage);
  if (!request.valid) {
    std::fprintf(err, "Error: invalid profile %s\n", options.profileArgument.c_str());
    std::fflush(err);
    return RUN_EXIT_INVALID_PROFILE;
  }
  // The request's result is not examined.
  session.SetProfile(request.profileId, request.voltage);
  return RUN_EXIT_SUCCEEDED;
}

int SetLoad(TesterSession& session, const RunOptions& options, std::FILE*, std::FILE*) {
  session.SetLoad(options.load);
  return RUN_EXIT_SUCCEEDED;
}

int StoreDefaultVoltage(TesterSession& session, const RunOptions& options, std::FILE*, std::FILE*) {
  session.StoreDefaultVoltage(options.defaultVoltage);
  return RUN_EXIT_SUCCEEDED;
}

int StoreDefaultLoad(TesterSession& session, const RunOptions& options, std::FILE*, std::FILE*) {
  session.StoreDefaultLoad(options.defaultLoad);
  return RUN_EXIT_SUCCEEDED;
}

int StoreMaxLoad(TesterSession& session, const RunOptions& options, std::FILE*, std::FILE*) {
  session.StoreMaxLoad(options.maxLoad);
  return RUN_EXIT_SUCCEEDED;
}

int CarryOutAction(TesterSession& session, const RunOptions& options, const char* programName,
                   std::FILE* out, std::FILE* err) {
  if (options.action == nullptr) {
    PrintUsage(err, programName);
    return RUN_EXIT_SUCCEEDED;
  }
  return options.action(session, options, out, err);
}

}  // namespace ralvex::cli

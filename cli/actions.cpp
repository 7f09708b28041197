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

namespace {

// -v: the profile list first, then the request for the chosen entry (its result is not examined).
int SetChosenProfile(link::TesterLink& link, const RunOptions& options, std::FILE* err) {
  link::ProfileList list = {};
  link.GetProfiles(list);
  const ProfileRequest request =
      PlanProfileRequest(list, options.profileIndex, options.profileVoltage);
  if (!request.valid) {
    std::fprintf(err, "Error: invalid profile %s\n", options.profileArgument.c_str());
    std::fflush(err);
    return RUN_EXIT_INVALID_PROFILE;
  }
  link.SetProfile(request.profileId, request.voltage);
  return RUN_EXIT_SUCCEEDED;
}

}  // namespace

int CarryOutAction(link::TesterLink& link, const RunOptions& options, const char* programName,
                   std::FILE* out, std::FILE* err) {
  switch (options.action) {
    case ACTION_NONE:
      PrintUsage(err, programName);
      break;
    case ACTION_CONNECTION: {
      // Left zeroed when the tester does not answer: the report then reads NOT CONNECTED.
      link::ConnectionReply reply = {};
      link.GetConnection(reply);
      PrintConnectionReport(out, reply);
      break;
    }
    case ACTION_PROFILES: {
      link::ProfileList list = {};
      link.GetProfiles(list);
      PrintProfileReport(out, list, link.VersionLevel());
      break;
    }
    case ACTION_STATS: {
      // Left zeroed when the tester does not answer: every reading then shows 0.
      link::StatsReply stats = {};
      link.GetStats(stats);
      PrintStatsReport(out, stats);
      break;
    }
    case ACTION_SET_PROFILE:
      return SetChosenProfile(link, options, err);
    case ACTION_SET_LOAD:
      link.SetLoad(options.load);
      break;
    case ACTION_SET_DEFVOLT:
      link.SetDefaultVoltage(options.defaultVoltage);
      break;
    case ACTION_SET_DEFLOAD:
      link.SetDefaultLoad(options.defaultLoad);
      break;
    case ACTION_SET_MAXLOAD:
      link.SetMaxLoad(options.maxLoad);
      break;
  }
  return RUN_EXIT_SUCCEEDED;
}

}  // namespace ralvex::cli

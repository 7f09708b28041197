#include "cli/actions.h"

#include "cli/reports.h"
#include "cli/usage.h"

namespace ralvex::cli {

namespace {

int NoAnswer(std::FILE* err) {
  std::fprintf(err, "%s\n", NO_ANSWER_MESSAGE);
  std::fflush(err);
  return RUN_EXIT_NO_ANSWER;
}

// A set action succeeds once the tester answered; its verdict is not looked at.
int OutcomeOf(const link::SetResult& result, std::FILE* err) {
  return result.answered ? RUN_EXIT_SUCCEEDED : NoAnswer(err);
}

}  // namespace

int ReportConnection(TesterSession& session, const RunOptions&, std::FILE* out, std::FILE* err) {
  link::ConnectionReply reply = {};
  if (!session.GetConnection(reply)) return NoAnswer(err);
  PrintConnectionReport(out, reply);
  return RUN_EXIT_SUCCEEDED;
}

int ReportProfiles(TesterSession& session, const RunOptions&, std::FILE* out, std::FILE* err) {
  link::ProfileList list = {};
  if (!session.GetProfiles(list)) return NoAnswer(err);
  PrintProfileReport(out, list, session.VersionLevel());
  return RUN_EXIT_SUCCEEDED;
}

int ReportStats(TesterSession& session, const RunOptions&, std::FILE* out, std::FILE* err) {
  link::StatsReply stats = {};
  if (!session.GetStats(stats)) return NoAnswer(err);
  PrintStatsReport(out, stats);
  return RUN_EXIT_SUCCEEDED;
}

int SetChosenProfile(TesterSession& session, const RunOptions& options, std::FILE*,
                     std::FILE* err) {
  link::ProfileList list = {};
  if (!session.GetProfiles(list)) return NoAnswer(err);
  const ProfileRequest request = PlanProfileRequest(list, options.profileIndex,
                                                    options.profileVoltage, session.VersionLevel());
  if (!request.valid) {
    std::fprintf(err, "Error: invalid profile %s\n", options.profileArgument.c_str());
    std::fflush(err);
    return RUN_EXIT_INVALID_PROFILE;
  }
  return OutcomeOf(session.SetProfile(request.profileId, request.voltage), err);
}

int SetLoad(TesterSession& session, const RunOptions& options, std::FILE*, std::FILE* err) {
  return OutcomeOf(session.SetLoad(options.load), err);
}

int StoreDefaultVoltage(TesterSession& session, const RunOptions& options, std::FILE*,
                        std::FILE* err) {
  return OutcomeOf(session.StoreDefaultVoltage(options.defaultVoltage), err);
}

int StoreDefaultLoad(TesterSession& session, const RunOptions& options, std::FILE*,
                     std::FILE* err) {
  return OutcomeOf(session.StoreDefaultLoad(options.defaultLoad), err);
}

int StoreMaxLoad(TesterSession& session, const RunOptions& options, std::FILE*, std::FILE* err) {
  return OutcomeOf(session.StoreMaxLoad(options.maxLoad), err);
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

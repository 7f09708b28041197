#include "cli/run_flow.h"

#include "cli/actions.h"
#include "cli/options.h"
#include "cli/usage.h"
#include "link/tester_link.h"
#include "testers/tester_choice.h"
#include "testers/tester_session.h"

namespace ralvex::cli {

namespace {

int DeviceNotFound(std::FILE* err, std::size_t count) {
  std::fprintf(err, "Error: Device not found.%zu\n", count);
  std::fflush(err);
  return RUN_EXIT_FAILED_TO_CONNECT;
}

}  // namespace

int RunProgram(int argc, const char* const* argv, const RunEnvironment& environment) {
  std::FILE* out = environment.out;
  std::FILE* err = environment.err;
  const char* programName = argc > 0 ? argv[0] : nullptr;

  link::TesterLink link;
  TesterList testers;
  RunOptions options;

  const std::size_t startupCount = StartupScan(testers, environment.listDevices);
  if (startupCount == 0) return DeviceNotFound(err, 0);

  const ScanResult scan = ScanArguments(argc, argv, testers, options, err);
  switch (scan.outcome) {
    case SCAN_HELP:
      PrintUsage(err, programName);
      return RUN_EXIT_SUCCEEDED;
    case SCAN_FIND:
      PrintTesterListing(out, testers, environment.listDevices);
      return RUN_EXIT_SUCCEEDED;
    case SCAN_FAILED:
      return scan.exitCode;
    case SCAN_RUN:
      break;
  }

  // A position that names no listed tester cannot be opened: fail as an open does, at once.
  const char* serial = SerialAt(testers, startupCount, options.selectedIndex);
  if (serial == nullptr || !OpenWithRetries(link, serial)) return DeviceNotFound(err, startupCount);

  LinkSession session(link, serial);
  const int exitCode = CarryOutAction(session, options, programName, out, err);
  link.Close();
  return exitCode;
}

}  // namespace ralvex::cli

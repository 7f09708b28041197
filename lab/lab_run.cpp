#include "lab/lab_run.h"

#include <cctype>
#include <memory>
#include <string>

#include "lab/capacity_run.h"
#include "lab/lab_clock.h"
#include "lab/lab_options.h"
#include "lab/progress_line.h"
#include "lab/sample_logger.h"
#include "lab/say_line.h"
#include "lab/status_report.h"
#include "lab/sweep_run.h"
#include "lab/text_file.h"
#include "lab/verify_command.h"
#include "link/tester_link.h"
#include "testers/tester_choice.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

namespace {

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The tester's position in the list, chosen by --device and --index as ralvex chooses it; -1 with
// the exit code set when none can be had.
long ChoosePosition(const LabOptions& options, const testers::TesterList& list,
                    std::size_t startupCount, std::FILE* err, int* exitCode) {
  long position = options.index.value_or(0);
  if (!options.device.empty()) {
    const std::string upper = UpperCase(options.device);
    const testers::ResolvedDevice resolved =
        testers::ResolveDevice(upper.c_str(), list, startupCount);
    if (resolved.resolution == testers::DEVICE_INVALID) {
      *exitCode = Say(err, LAB_EXIT_INVALID_COMMAND_LINE,
                      "Error: invalid value '" + options.device +
                          "' for --device (expected a tester's serial number or Any). Run "
                          "'ralvex-lab --help' for the options.");
      return -1;
    }
    if (resolved.resolution == testers::DEVICE_NOT_FOUND) {
      *exitCode = Say(err, LAB_EXIT_NO_TESTER, "Error: Device not found.");
      return -1;
    }
    position = static_cast<long>(resolved.index);
  }
  return position;
}

int RunStatus(testers::TesterSession& tester, const LabOptions& options, StatusSnapshot& snapshot,
              const LabEnvironment& env) {
  if (!TakeSnapshot(tester, snapshot)) {
    return Say(env.err, LAB_EXIT_NO_TESTER, "Error: the tester did not answer.");
  }
  if (options.json) {
    std::fprintf(env.out, "%s\n", StatusJson(snapshot).c_str());
    std::fflush(env.out);
  } else {
    PrintStatusText(env.out, snapshot);
  }
  return LAB_EXIT_DONE;
}

int RunLogCommand(testers::TesterSession& tester, const LabOptions& options,
                  const std::string& serial, const LabEnvironment& env) {
  SystemLabClock clock;
  const RunInfo info{FormatUtc(clock.WallNow()), serial, options.given};
  std::string error;
  const std::unique_ptr<RowSink> sink =
      OpenRowSink(options.log.format, options.log.output, info, &error);
  // An output that cannot be opened is an unusable -o: a command-line error, as a bad value is.
  if (!sink) return Say(env.err, LAB_EXIT_INVALID_COMMAND_LINE, "Error: " + error);

  ProgressLine progress(env.err, env.errIsTerminal && !options.log.quiet);
  const LogRun run{tester, *sink, options.log, clock, *env.stop, env.err, &progress};
  LogOutcome outcome = RunLog(run);
  progress.Clear();

  const std::string json = SummaryJson(outcome.summary);
  PrintSummary(env.err, outcome.summary);
  if (!sink->Finish(json)) {
    std::fprintf(env.err, "Error: the log could not be finished: %s\n", sink->Error().c_str());
    if (outcome.exitCode == LAB_EXIT_DONE) outcome.exitCode = LAB_EXIT_OUTPUT_FAILED;
  }
  if (!options.log.summaryJson.empty() && !WriteTextFile(options.log.summaryJson, json + "\n")) {
    std::fprintf(env.err, "Error: cannot write %s\n", options.log.summaryJson.c_str());
    if (outcome.exitCode == LAB_EXIT_DONE) outcome.exitCode = LAB_EXIT_OUTPUT_FAILED;
  }
  std::fflush(env.err);
  return outcome.exitCode;
}

int RunSweepCommand(testers::TesterSession& tester, const LabOptions& options,
                    const LabEnvironment& env) {
  SystemLabClock clock;
  ProgressLine progress(env.err, env.errIsTerminal);
  return RunSweep({tester, options.sweep, clock, *env.stop, env.err, &progress});
}

int RunCapacityCommand(testers::TesterSession& tester, const LabOptions& options,
                       const std::string& serial, const LabEnvironment& env) {
  SystemLabClock clock;
  ProgressLine progress(env.err, env.errIsTerminal);
  return RunCapacity(
      {tester, options.capacity, serial, clock, *env.stop, env.out, env.err, &progress});
}

}  // namespace

int RunLab(int argc, const char* const* argv, const LabEnvironment& env) {
  const ParsedCommandLine parsed = ParseLabCommandLine(argc, argv, env.out, env.err);
  if (!parsed.options) return parsed.exitCode;
  const LabOptions& options = *parsed.options;
  if (options.command == LAB_SERVE) {
    if (env.serve != nullptr) return env.serve(options.serve, env);
    return Say(env.err, LAB_EXIT_INVALID_COMMAND_LINE, "Error: serve is not part of this build.");
  }

  testers::TesterList list;
  const std::size_t startupCount = testers::StartupScan(list, env.listDevices);
  if (startupCount == 0) return Say(env.err, LAB_EXIT_NO_TESTER, "Error: Device not found.");
  int exitCode = LAB_EXIT_DONE;
  const long position = ChoosePosition(options, list, startupCount, env.err, &exitCode);
  if (position < 0) return exitCode;
  const char* serial = testers::SerialAt(list, startupCount, position);
  link::TesterLink link;
  if (serial == nullptr || !testers::OpenWithRetries(link, serial)) {
    return Say(env.err, LAB_EXIT_NO_TESTER, "Error: Device not found.");
  }

  testers::LinkSession tester(link, serial);
  if (env.armStop != nullptr) env.armStop();
  if (options.command == LAB_STATUS) {
    StatusSnapshot snapshot;
    snapshot.serial = serial;
    snapshot.index = static_cast<std::size_t>(position);
    exitCode = RunStatus(tester, options, snapshot, env);
  } else if (options.command == LAB_SWEEP) {
    exitCode = RunSweepCommand(tester, options, env);
  } else if (options.command == LAB_CAPACITY) {
    exitCode = RunCapacityCommand(tester, options, serial, env);
  } else if (options.command == LAB_VERIFY) {
    exitCode =
        RunVerifyCommand(tester, options.verify, {serial, static_cast<std::size_t>(position)}, env);
  } else {
    exitCode = RunLogCommand(tester, options, serial, env);
  }
  link.Close();
  return exitCode;
}

}  // namespace ralvex::lab

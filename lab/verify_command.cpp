#include "lab/verify_command.h"

#include <fstream>
#include <memory>

#include "lab/lab_clock.h"
#include "lab/lab_options.h"
#include "lab/log/log_row.h"
#include "lab/say_line.h"
#include "lab/verify_html.h"
#include "lab/verify_report.h"
#include "lab/verify_run.h"

namespace ralvex::lab {

namespace {

// A report file, opened (and emptied) before the run so that a path that cannot be written is
// known while nothing has changed yet.
struct ReportFile {
  std::string path;
  std::unique_ptr<std::ofstream> stream;
};

// The error line; always false, for the caller to return.
bool CannotWrite(const ReportFile& file, std::FILE* err) {
  Say(err, 0, "Error: cannot write " + file.path);
  return false;
}

bool Open(ReportFile& file, std::FILE* err) {
  if (file.path.empty()) return true;
  file.stream = std::make_unique<std::ofstream>(file.path, std::ios::trunc);
  return *file.stream || CannotWrite(file, err);
}

bool Write(ReportFile& file, const std::string& text, std::FILE* err) {
  if (!file.stream) return true;
  *file.stream << text << "\n";
  return file.stream->flush() || CannotWrite(file, err);
}

}  // namespace

int RunVerifyCommand(testers::TesterSession& tester, const VerifyOptions& options,
                     const TesterPlace& place, const LabEnvironment& env) {
  ReportFile json{options.jsonPath, nullptr}, html{options.htmlPath, nullptr};
  if (!Open(json, env.err) || !Open(html, env.err)) return LAB_EXIT_INVALID_COMMAND_LINE;

  SystemLabClock clock;
  VerifyReport report;
  report.serial = place.serial;
  report.index = place.index;
  report.versionLevel = tester.VersionLevel();
  report.started = FormatUtc(clock.WallNow());
  report.settings = options;
  const SteadyTime start = clock.Now();
  bool headed = false;
  const auto onRow = [&](const CheckRow& row) {
    if (!headed) PrintTableHead(env.out);
    headed = true;
    PrintTableRow(env.out, row);
  };
  int code = RunVerify({tester, options, clock, *env.stop, env.err, onRow}, report);
  report.durationS = std::chrono::duration<double>(clock.Now() - start).count();
  if (report.profiles.empty()) return code;

  if (!headed) PrintTableHead(env.out);
  PrintTableEnd(env.out, report);
  // Both reports are written even when the first fails.
  const bool jsonWritten = Write(json, VerifyJson(report), env.err);
  const bool htmlWritten = Write(html, VerifyHtml(report), env.err);
  if (!(jsonWritten && htmlWritten) && code == LAB_EXIT_DONE) code = LAB_EXIT_OUTPUT_FAILED;
  return code;
}

}  // namespace ralvex::lab

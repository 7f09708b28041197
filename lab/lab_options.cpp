#include "lab/lab_options.h"

#include <CLI/CLI.hpp>

#include <sstream>
#include <vector>

#include "lab/option_numbers.h"
#include "lab/verify_options.h"

namespace ralvex::lab {

namespace {

std::optional<LogFormat> FormatNamed(const std::string& name) {
  if (name == "sqlite") return LOG_SQLITE;
  return TextFormatNamed(name);
}

// --help and --version: CLI11 writes the text, which goes to `out` whole.
int PrintExit(const CLI::App& app, const CLI::Error& e, std::FILE* out) {
  std::ostringstream text, unused;
  const int code = app.exit(e, text, unused);
  std::fputs(text.str().c_str(), out);
  std::fflush(out);
  return code;
}

std::string Joined(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return text;
}

}  // namespace

ParsedCommandLine ParseLabCommandLine(int argc, const char* const* argv, std::FILE* out,
                                      std::FILE* err) {
  LabOptions options;
  LogOptions& log = options.log;
  std::string index, interval, duration, samples, load, reconnect, format = "csv";

  CLI::App app{
      "ralvex-lab: status, logs, sweeps, capacity, charger verdicts and a live server for USB PD "
      "load testers",
      "ralvex-lab"};
  app.set_version_flag("--version", RALVEX_VERSION);
  app.require_subcommand(1);
  app.option_defaults()->always_capture_default();
  app.add_option("-d,--device", options.device, "the tester's serial number, or Any")
      ->type_name("SERIAL");
  app.add_option("-i,--index", index, "the tester's position in the list of testers")
      ->type_name("N");

  CLI::App* status = app.add_subcommand("status",
                                        "one snapshot: tester, contract, profiles, "
                                        "measurements");
  status->add_flag("--json", options.json, "one JSON object (schema ralvex.status/1)");

  CLI::App* logCommand = app.add_subcommand("log", "sample the measurements, one row per sample");
  logCommand
      ->add_option("--interval", interval,
                   "milliseconds between samples (default 100; 0: "
                   "as fast as the line allows)")
      ->type_name("MS");
  logCommand->add_option("--duration", duration, "seconds to log")->type_name("SECONDS");
  logCommand->add_option("--samples", samples, "rows to write")->type_name("N");
  logCommand->add_option("--load", load, "the load in mA to set first (0 mA again at the end)")
      ->type_name("MA");
  logCommand->add_option("--format", format, "csv, jsonl or sqlite (default csv)")
      ->type_name("FORMAT");
  logCommand->add_option("-o,--output", log.output, "the file to write (default standard output)")
      ->type_name("FILE");
  logCommand->add_option("--summary-json", log.summaryJson, "also write the summary as JSON here")
      ->type_name("FILE");
  logCommand->add_option("--reconnect", reconnect, "seconds to wait for a lost tester (default 30)")
      ->type_name("SECONDS");
  logCommand->add_flag("-q,--quiet", log.quiet, "no progress line");
  const SweepCommand sweep(app);
  const CapacityCommand capacity(app);
  const VerifyCommand verify(app);
  const ServeCommand serve(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return {std::nullopt, PrintExit(app, e, out)};
  } catch (const CLI::CallForVersion& e) {
    return {std::nullopt, PrintExit(app, e, out)};
  } catch (const CLI::ParseError& e) {
    // A word that names no command is what went wrong, not the missing command it leaves.
    const std::vector<std::string> left = app.remaining();
    if (!left.empty()) return {std::nullopt, Refuse(err, "unknown command '" + left[0] + "'")};
    return {std::nullopt, Refuse(err, e.what())};
  }

  // Each command's numbers are looked up in that command: commands share option names.
  int bad = StoreNumbers(
      {{{"--index", 0, 255, true, [&](double v) { options.index = static_cast<long>(v); }},
        &index}},
      app, err);
  if (bad != 0) return {std::nullopt, bad};
  bad = StoreNumbers(
      {{{"--interval", 0, 3600000, true,
         [&](double v) { log.intervalMs = static_cast<uint32_t>(v); }},
        &interval},
       {{"--duration", 0.001, 31536000, false, [&](double v) { log.durationS = v; }}, &duration},
       {{"--samples", 1, 1e12, true, [&](double v) { log.samples = static_cast<uint64_t>(v); }},
        &samples},
       {{"--load", 0, 65535, true, [&](double v) { log.loadMa = static_cast<uint16_t>(v); }},
        &load},
       {{"--reconnect", 0, 86400, true,
         [&](double v) { log.reconnectS = static_cast<uint32_t>(v); }},
        &reconnect}},
      *logCommand, err);
  if (bad != 0) return {std::nullopt, bad};

  const std::optional<LogFormat> chosen = FormatNamed(format);
  if (!chosen) {
    return {std::nullopt, Refuse(err, "invalid value '" + format +
                                          "' for --format (expected csv, jsonl or "
                                          "sqlite)")};
  }
  log.format = *chosen;
  if (log.format == LOG_SQLITE && log.output.empty()) {
    return {std::nullopt, Refuse(err, "--format sqlite needs a file: give it with -o FILE")};
  }
  options.command = logCommand->parsed() ? LAB_LOG : LAB_STATUS;
  if (sweep.Parsed()) {
    options.command = LAB_SWEEP;
    if (const int code = sweep.Store(options.sweep, err); code != 0) return {std::nullopt, code};
  }
  if (capacity.Parsed()) {
    options.command = LAB_CAPACITY;
    if (const int code = capacity.Store(options.capacity, err); code != 0)
      return {std::nullopt, code};
  }
  if (verify.Parsed()) {
    options.command = LAB_VERIFY;
    if (const int code = verify.Store(options.verify, err); code != 0) return {std::nullopt, code};
  } else if (serve.Parsed()) {
    options.command = LAB_SERVE;
    if (const int code = serve.Store(options.serve, err); code != 0) return {std::nullopt, code};
  }
  options.given = Joined(argc, argv);
  (void)status;
  return {options, LAB_EXIT_DONE};
}

}  // namespace ralvex::lab

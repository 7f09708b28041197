#include "tools/tester/tester_options.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace ralvex::tester_tool {

int ParseTesterOptions(int argc, const char* const* argv, TesterOptions* options, std::FILE* out,
                       std::FILE* err) {
  CLI::App app{"ralvex-tester: serve an emulated load tester on a tty or a pseudo-terminal",
               "ralvex-tester"};
  app.set_version_flag("--version", RALVEX_VERSION);
  app.add_option("--config", options->configPath, "a TOML file of the tester's keys")
      ->type_name("FILE");
  app.add_option("--state", options->statePath, "keep the tester's state in this file")
      ->type_name("FILE");
  app.add_option("tty", options->tty, "the tty to serve (default: a new pseudo-terminal)")
      ->type_name("TTY");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream text, errors;
    const int code = app.exit(e, text, errors);
    if (code == 0) {
      std::fputs(text.str().c_str(), out);
      std::fflush(out);
      return 0;
    }
    std::fprintf(err, "ralvex-tester: %s. Run 'ralvex-tester --help' for the options.\n", e.what());
    std::fflush(err);
    return 1;
  }
  return TESTER_SERVE;
}

bool LoadTesterTable(const std::string& path, toml::table* table, std::string* error) {
  try {
    *table = toml::parse_file(path);
  } catch (const toml::parse_error& failure) {
    const auto line = failure.source().begin.line;
    *error = path + ":" + (line > 0 ? std::to_string(line) + ":" : "") + " " +
             std::string(failure.description());
    return false;
  }
  return true;
}

std::string ConfigError(const std::string& path, const std::string& problem, uint32_t line) {
  return path + ":" + (line > 0 ? std::to_string(line) + ":" : "") + " " + problem;
}

}  // namespace ralvex::tester_tool

#include "tools/tester/tester_options.h"

namespace ralvex::tester_tool {

bool ParseTesterOptions(const std::vector<std::string>& args, TesterOptions* options,
                        std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--config" || arg == "--state") {
      if (i + 1 >= args.size()) {
        *error = "ralvex-tester: " + arg + " needs a file";
        return false;
      }
      (arg == "--config" ? options->configPath : options->statePath) = args[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "ralvex-tester: unknown option '" + arg + "'";
      return false;
    } else if (!options->tty.empty()) {
      *error = "ralvex-tester: only one TTY can be served";
      return false;
    } else {
      options->tty = arg;
    }
  }
  return true;
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

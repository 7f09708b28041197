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

std::string ConfigError(const std::string& path, const std::string& tableError) {
  std::string problem = tableError;
  if (problem.rfind("tester.", 0) == 0) problem.erase(0, 7);
  std::string line;
  const std::string marker = " (line ";
  const size_t at = problem.rfind(marker);
  if (at != std::string::npos && problem.back() == ')') {
    line = problem.substr(at + marker.size(), problem.size() - at - marker.size() - 1);
    problem.erase(at);
  }
  return path + ":" + (line.empty() ? "" : line + ":") + " " + problem;
}

}  // namespace ralvex::tester_tool

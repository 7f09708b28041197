// The command line of ralvex-tester and its config file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <toml++/toml.h>

namespace ralvex::tester_tool {

struct TesterOptions {
  std::string configPath;  // empty: the default tester
  std::string statePath;   // empty: nothing kept between runs
  std::string tty;         // empty: a new pseudo-terminal
};

inline constexpr const char* TESTER_USAGE =
    "usage: ralvex-tester [--config FILE] [--state FILE] [TTY]";

// False with one line in *error for an unknown option, a missing value or a second TTY.
bool ParseTesterOptions(const std::vector<std::string>& args, TesterOptions* options,
                        std::string* error);

// Reads the config file (its top level holds a bench's [device.tester] keys). False with one
// line naming the file, the line and the problem. `table` stays empty without a file.
bool LoadTesterTable(const std::string& path, toml::table* table, std::string* error);

// One line naming the file, the line the problem is on (left out when unknown) and the problem.
std::string ConfigError(const std::string& path, const std::string& problem, uint32_t line);

}  // namespace ralvex::tester_tool

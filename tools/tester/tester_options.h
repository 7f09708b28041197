// The command line of ralvex-tester and its config file.
#pragma once

#include <cstdio>
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

// The command line, parsed with CLI11 as ralvex-lab's is. TESTER_SERVE when the tester is to be
// served; otherwise the exit code: 0 after --help or --version (their text on `out`), 1 after one
// line on `err` naming what is wrong (an unknown option, a missing value, a second TTY) and
// pointing to --help.
inline constexpr int TESTER_SERVE = -1;
int ParseTesterOptions(int argc, const char* const* argv, TesterOptions* options, std::FILE* out,
                       std::FILE* err);

// Reads the config file (its top level holds a bench's [device.tester] keys). False with one
// line naming the file, the line and the problem. `table` stays empty without a file.
bool LoadTesterTable(const std::string& path, toml::table* table, std::string* error);

// One line naming the file, the line the problem is on (left out when unknown) and the problem.
std::string ConfigError(const std::string& path, const std::string& problem, uint32_t line);

}  // namespace ralvex::tester_tool

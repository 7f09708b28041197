// The number options of ralvex-lab's commands: each is taken as text and read here, so that every
// bad value gets the same line naming the option, the value and the range it must lie in.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lab/log/row_sink.h"

namespace CLI {
class App;
}

namespace ralvex::lab {

// One number option: its name as given on the command line, its range, whether it must be whole,
// and where a good value goes.
struct NumberRow {
  const char* name;
  double min;
  double max;
  bool whole;
  std::function<void(double)> store;
};

// The text as a number; nothing when it is not one, or not whole where `whole` asks for it.
std::optional<double> ReadNumber(const std::string& text, bool whole);

// Writes the error line with the hint to --help; returns the command-line exit code.
int Refuse(std::FILE* err, const std::string& what);

// Whether the option appeared on the command line, in `app` or in one of its commands. Pass the
// subcommand that owns the option: options of different commands may share a name.
bool Given(const CLI::App& app, const std::string& name);

// Checks every given number against its row and stores it; 0 when all are good, else the
// command-line exit code after the error line.
int StoreNumbers(const std::vector<std::pair<NumberRow, const std::string*>>& given,
                 const CLI::App& app, std::FILE* err);

// The text formats of rows, by their --format name ("csv", "jsonl"); nothing for another name.
std::optional<LogFormat> TextFormatNamed(const std::string& name);
// `name` (csv or jsonl) into `into`: 0, else the command-line exit code after the error line.
int StoreTextFormat(const std::string& name, LogFormat& into, std::FILE* err);

}  // namespace ralvex::lab

#include "lab/option_numbers.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>

#include "lab/lab_options.h"

namespace ralvex::lab {

namespace {

std::string Range(const NumberRow& row) {
  char text[96];
  std::snprintf(text, sizeof text, " (expected %s %.0f to %.0f)",
                row.whole ? "a whole number" : "a number", row.min, row.max);
  return text;
}

}  // namespace

std::optional<double> ReadNumber(const std::string& text, bool whole) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  if (whole && value != static_cast<double>(static_cast<uint64_t>(value))) return std::nullopt;
  return value;
}

int Refuse(std::FILE* err, const std::string& what) {
  std::fprintf(err, "Error: %s. Run 'ralvex-lab --help' for the options.\n", what.c_str());
  std::fflush(err);
  return LAB_EXIT_INVALID_COMMAND_LINE;
}

bool Given(const CLI::App& app, const std::string& name) {
  const CLI::Option* option = app.get_option_no_throw(name);
  if (option != nullptr && option->count() > 0) return true;
  for (const CLI::App* command : app.get_subcommands({})) {
    if (Given(*command, name)) return true;
  }
  return false;
}

int StoreNumbers(const std::vector<std::pair<NumberRow, const std::string*>>& given,
                 const CLI::App& app, std::FILE* err) {
  for (const auto& [row, text] : given) {
    if (!Given(app, row.name)) continue;
    const std::optional<double> value = ReadNumber(*text, row.whole);
    if (!value || *value < row.min || *value > row.max) {
      return Refuse(err, std::string("invalid value '") + *text + "' for " + row.name + Range(row));
    }
    row.store(*value);
  }
  return 0;
}

std::optional<LogFormat> TextFormatNamed(const std::string& name) {
  if (name == "csv") return LOG_CSV;
  if (name == "jsonl") return LOG_JSONL;
  return std::nullopt;
}

int StoreTextFormat(const std::string& name, LogFormat& into, std::FILE* err) {
  const std::optional<LogFormat> format = TextFormatNamed(name);
  if (!format)
    return Refuse(err, "invalid value '" + name + "' for --format (expected csv or jsonl)");
  into = *format;
  return 0;
}

}  // namespace ralvex::lab

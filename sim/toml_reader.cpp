#include "sim/toml_reader.h"

#include <sstream>

namespace ralvex::sim {
namespace {

std::string Show(int64_t value, bool hex) {
  if (!hex) return std::to_string(value);
  std::ostringstream out;
  out << "0x" << std::uppercase << std::hex << static_cast<uint64_t>(value);
  return out.str();
}

// "'key' where", appended piece by piece: GCC's -O3 restrict analysis misreads "'" + string.
std::string Named(std::string_view key, const std::string& where) {
  std::string text = "'";
  text.append(key);
  text += "' ";
  text += where;
  return text;
}

}  // namespace

const char* TomlReader::TypeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a number with a fraction";
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date-time";
    default:
      return "nothing";
  }
}

bool TomlReader::Fail(uint32_t line, std::string what) {
  if (what_.empty()) {
    // One line, whatever a parser's own text holds.
    for (char& c : what) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    what_ = std::move(what);
    line_ = line;
  }
  return false;
}

bool TomlReader::WrongType(std::string_view key, const toml::node& node, std::string_view wanted) {
  return Fail(LineOf(node),
              Named(key, where_) + " must be " + std::string(wanted) + ", not " + TypeName(node));
}

bool TomlReader::String(std::string_view key, const toml::node& node, std::string* out) {
  const auto* value = node.as_string();
  if (value == nullptr) return WrongType(key, node, "a string");
  *out = value->get();
  return true;
}

bool TomlReader::Bool(std::string_view key, const toml::node& node, bool* out) {
  const auto* value = node.as_boolean();
  if (value == nullptr) return WrongType(key, node, "true or false");
  *out = value->get();
  return true;
}

bool TomlReader::Integer(std::string_view key, const toml::node& node, int64_t low, int64_t high,
                         int64_t* out, bool hex) {
  const auto* value = node.as_integer();
  if (value == nullptr) return WrongType(key, node, "an integer");
  if (value->get() < low || value->get() > high) {
    return Fail(LineOf(node), Named(key, where_) + " must be from " + Show(low, hex) + " to " +
                                  Show(high, hex) + ", not " + std::to_string(value->get()));
  }
  *out = value->get();
  return true;
}

bool TomlReader::Bytes(std::string_view key, const toml::node& node, std::vector<uint8_t>* out) {
  const toml::array* array = node.as_array();
  if (array == nullptr) return WrongType(key, node, "an array of bytes");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < array->size(); ++i) {
    uint8_t byte = 0;
    if (!Integer(std::string(key) + "[" + std::to_string(i) + "]", *array->get(i), 0, 255, &byte)) {
      return false;
    }
    bytes.push_back(byte);
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace ralvex::sim

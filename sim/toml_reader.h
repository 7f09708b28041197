// Typed reading of parsed TOML for bench files and tester tables: each read checks the value's
// type and range and, when it fails, keeps the first problem found with its source line, so that
// a refusal is one line naming the key and what is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

namespace ralvex::sim {

class TomlReader {
 public:
  // `where` names the table in messages: "'vid' of a device must be ...".
  explicit TomlReader(std::string where) : where_(std::move(where)) {}

  static uint32_t LineOf(const toml::node& node) { return node.source().begin.line; }
  // TOML's name for the kind of value a node holds ("an integer", "a table", ...).
  static const char* TypeName(const toml::node& node);

  // Records a problem unless one is recorded already; always returns false.
  bool Fail(uint32_t line, std::string what);
  bool WrongType(std::string_view key, const toml::node& node, std::string_view wanted);

  bool String(std::string_view key, const toml::node& node, std::string* out);
  bool Bool(std::string_view key, const toml::node& node, bool* out);
  // An integer from `low` to `high`; `hex` shows the limits in hexadecimal.
  bool Integer(std::string_view key, const toml::node& node, int64_t low, int64_t high,
               int64_t* out, bool hex = false);
  template <typename T>
  bool Integer(std::string_view key, const toml::node& node, int64_t low, int64_t high, T* out,
               bool hex = false) {
    int64_t value = 0;
    if (!Integer(key, node, low, high, &value, hex)) return false;
    *out = static_cast<T>(value);
    return true;
  }
  // An array of integers from 0 to 255 (replaces *out).
  bool Bytes(std::string_view key, const toml::node& node, std::vector<uint8_t>* out);

  bool Failed() const { return !what_.empty(); }
  uint32_t Line() const { return line_; }  // 0 when the source gave none
  const std::string& What() const { return what_; }

 private:
  std::string where_;
  uint32_t line_ = 0;
  std::string what_;
};

}  // namespace ralvex::sim

#include "sim/tester/tester_config.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/tester/tester_model.h"

namespace ralvex::sim {

namespace {

// Builds the one-line complaint about `key`, with the source line of `where` when known.
class Complaint {
 public:
  explicit Complaint(std::string* error) : error_(error) {}

  bool operator()(std::string_view key, std::string_view problem,
                  const toml::source_region& where) {
    if (error_ != nullptr) {
      *error_ = "tester." + std::string(key) + ": " + std::string(problem);
      if (where.begin.line > 0) *error_ += " (line " + std::to_string(where.begin.line) + ")";
    }
    return false;
  }

 private:
  std::string* error_;
};

std::optional<int64_t> IntegerIn(const toml::node& node, int64_t low, int64_t high) {
  const auto value = node.value_exact<int64_t>();
  if (!value || *value < low || *value > high) return std::nullopt;
  return *value;
}

std::string Range(int64_t low, int64_t high) {
  return "expected an integer from " + std::to_string(low) + " to " + std::to_string(high);
}

template <typename T>
bool ReadInteger(const toml::node& node, std::string_view key, int64_t low, int64_t high, T* out,
                 Complaint& complain) {
  const auto value = IntegerIn(node, low, high);
  if (!value) return complain(key, Range(low, high), node.source());
  *out = static_cast<T>(*value);
  return true;
}

bool ReadBool(const toml::node& node, std::string_view key, bool* out, Complaint& complain) {
  const auto value = node.value_exact<bool>();
  if (!value) return complain(key, "expected true or false", node.source());
  *out = *value;
  return true;
}

bool ReadBytes(const toml::node& node, std::string_view key, std::vector<uint8_t>* out,
               Complaint& complain) {
  const toml::array* array = node.as_array();
  if (array == nullptr) return complain(key, "expected an array of bytes", node.source());
  out->clear();
  for (size_t i = 0; i < array->size(); ++i) {
    const toml::node& item = *array->get(i);
    const auto value = IntegerIn(item, 0, 255);
    if (!value) {
      return complain(std::string(key) + "[" + std::to_string(i) + "]", Range(0, 255),
                      item.source());
    }
    out->push_back(static_cast<uint8_t>(*value));
  }
  return true;
}

bool ReadByteSet(const toml::node& node, std::string_view key, std::bitset<256>* out,
                 Complaint& complain) {
  std::vector<uint8_t> bytes;
  if (!ReadBytes(node, key, &bytes, complain)) return false;
  out->reset();
  for (uint8_t b : bytes) out->set(b);
  return true;
}

bool ReadProfile(const toml::node& node, const std::string& key, TesterProfile* profile,
                 Complaint& complain) {
  const toml::table* table = node.as_table();
  if (table == nullptr) {
    return complain(key, "expected a table with type, voltage and current", node.source());
  }
  for (const auto& [name, value] : *table) {
    if (name != "type" && name != "voltage" && name != "current" && name != "min_voltage") {
      return complain(key + "." + std::string(name.str()), "unknown key", name.source());
    }
  }
  const toml::node* type = table->get("type");
  if (type == nullptr) return complain(key + ".type", "missing", node.source());
  const auto type_name = type->value_exact<std::string>();
  if (!type_name || !ProfileTypeFromName(*type_name, &profile->profile_class, &profile->subtype)) {
    return complain(key + ".type", "expected a profile type name such as \"PD-FIX\"",
                    type->source());
  }
  for (const char* field : {"voltage", "current"}) {
    if (table->get(field) == nullptr) {
      return complain(key + "." + field, "missing", node.source());
    }
  }
  if (!ReadInteger(*table->get("voltage"), key + ".voltage", 0, 0xFFFF, &profile->voltage,
                   complain) ||
      !ReadInteger(*table->get("current"), key + ".current", 0, 0xFFFF, &profile->current,
                   complain)) {
    return false;
  }
  const toml::node* min_voltage = table->get("min_voltage");
  profile->min_voltage = 0;
  if (!IsRanged(*profile)) {
    if (min_voltage != nullptr) {
      return complain(key + ".min_voltage",
                      "only ranged profiles (QC1, QC2, QC3, PD-APDO) have one",
                      min_voltage->source());
    }
    return true;
  }
  if (min_voltage == nullptr) {
    return complain(key + ".min_voltage", "missing: a ranged profile needs one", node.source());
  }
  return ReadInteger(*min_voltage, key + ".min_voltage", 0, profile->voltage, &profile->min_voltage,
                     complain);
}

bool ReadProfiles(const toml::node& node, std::vector<TesterProfile>* out, Complaint& complain) {
  const toml::array* array = node.as_array();
  if (array == nullptr) return complain("profiles", "expected an array of tables", node.source());
  if (array->size() > 7) return complain("profiles", "at most 7 profiles", node.source());
  out->assign(array->size(), TesterProfile{});
  for (size_t i = 0; i < array->size(); ++i) {
    if (!ReadProfile(*array->get(i), "profiles[" + std::to_string(i) + "]", &(*out)[i], complain)) {
      return false;
    }
  }
  return true;
}

bool ReadSettings(const toml::node& node, TesterConfig* config, Complaint& complain) {
  const toml::table* table = node.as_table();
  if (table == nullptr) return complain("settings", "expected a table of ids", node.source());
  for (const auto& [id, value] : *table) {
    const std::string key = "settings." + std::string(id.str());
    if (id == "0" || id == "3") {
      uint8_t* flag = id == "0" ? &config->setting0 : &config->setting3;
      if (const auto b = value.value_exact<bool>()) {
        *flag = *b ? 1 : 0;
      } else if (!ReadInteger(value, key, 0, 255, flag, complain)) {
        return false;
      }
    } else if (id == "2" || id == "4") {
      uint16_t* word = id == "2" ? &config->setting2 : &config->setting4;
      if (!ReadInteger(value, key, 0, 0xFFFF, word, complain)) return false;
    } else {
      return complain(key, "unknown setting id (0, 2, 3 and 4 can be set)", id.source());
    }
  }
  return true;
}

}  // namespace

std::vector<TesterProfile> TesterConfig::DefaultProfiles() {
  return {
      {5, 0, 0, 5000, 3000},  {5, 0, 0, 9000, 3000},     {5, 0, 0, 15000, 3000},
      {5, 0, 0, 20000, 3250}, {5, 3, 3300, 11000, 3000},
  };
}

bool ParseTesterConfig(const toml::table* table, TesterConfig* config, std::string* error) {
  TesterConfig parsed;
  Complaint complain(error);
  if (table != nullptr) {
    for (const auto& [key, node] : *table) {
      const std::string_view k = key.str();
      bool ok = true;
      if (k == "version_level") {
        ok = ReadInteger(node, k, 0, 255, &parsed.version_level, complain);
      } else if (k == "version_byte2") {
        ok = ReadInteger(node, k, 0, 255, &parsed.version_byte2, complain);
      } else if (k == "source") {
        ok = ReadBool(node, k, &parsed.source, complain);
      } else if (k == "ambient") {
        ok = ReadInteger(node, k, 0, 125, &parsed.ambient, complain);
      } else if (k == "cable_milliohm") {
        ok = ReadInteger(node, k, 0, 10000, &parsed.cable_milliohm, complain);
      } else if (k == "loopback_current") {
        ok = ReadInteger(node, k, 0, 0xFFFF, &parsed.loopback_current, complain);
      } else if (k == "notify") {
        ok = ReadBool(node, k, &parsed.notify, complain);
      } else if (k == "silent") {
        ok = ReadBool(node, k, &parsed.silent, complain);
      } else if (k == "unanswered") {
        ok = ReadByteSet(node, k, &parsed.unanswered, complain);
      } else if (k == "wrong_reply") {
        ok = ReadByteSet(node, k, &parsed.wrong_reply, complain);
      } else if (k == "bad_end_byte") {
        ok = ReadByteSet(node, k, &parsed.bad_end_byte, complain);
      } else if (k == "noise_before_reply") {
        if (const auto on = node.value_exact<bool>()) {
          parsed.noise_before_reply.clear();
          if (*on) {
            parsed.noise_before_reply.assign(std::begin(kDefaultNoise), std::end(kDefaultNoise));
          }
        } else if (node.is_array()) {
          ok = ReadBytes(node, k, &parsed.noise_before_reply, complain);
        } else {
          ok = complain(k, "expected true, false or an array of bytes", node.source());
        }
      } else if (k == "reply_delay_ms") {
        ok = ReadInteger(node, k, 0, 60000, &parsed.reply_delay_ms, complain);
      } else if (k == "profiles") {
        ok = ReadProfiles(node, &parsed.profiles, complain);
      } else if (k == "settings") {
        ok = ReadSettings(node, &parsed, complain);
      } else {
        ok = complain(k, "unknown key", key.source());
      }
      if (!ok) return false;
    }
    const toml::node* profiles = table->get("profiles");
    if (parsed.source && parsed.profiles.empty()) {
      return complain("profiles", "an attached source offers at least one profile",
                      profiles != nullptr ? profiles->source() : toml::source_region{});
    }
  }
  *config = std::move(parsed);
  return true;
}

}  // namespace ralvex::sim

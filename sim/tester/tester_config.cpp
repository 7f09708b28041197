#include "sim/tester/tester_config.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "sim/tester/tester_model.h"
#include "sim/toml_reader.h"

namespace ralvex::sim {

namespace {

bool Missing(TomlReader& read, const std::string& key, const toml::node& where) {
  return read.Fail(TomlReader::LineOf(where), "'" + key + "' of the tester is missing");
}

bool ReadByteSet(TomlReader& read, std::string_view key, const toml::node& node,
                 std::bitset<256>* out) {
  std::vector<uint8_t> bytes;
  if (!read.Bytes(key, node, &bytes)) return false;
  out->reset();
  for (uint8_t b : bytes) out->set(b);
  return true;
}

// The optional keys of a profile that describe how its source behaves: name, range, field.
struct ProfileSourceKey {
  std::string_view name;
  int64_t low;
  int64_t high;
  void (*store)(TesterProfile* profile, int64_t value);
};

constexpr ProfileSourceKey PROFILE_SOURCE_KEYS[] = {
    {"voltage_offset", -5000, 5000,
     [](TesterProfile* p, int64_t v) { p->voltageOffset = static_cast<int16_t>(v); }},
    {"source_milliohm", 0, 10000,
     [](TesterProfile* p, int64_t v) { p->sourceMilliohm = static_cast<uint16_t>(v); }},
    {"trip_current", 1, 0xFFFF,
     [](TesterProfile* p, int64_t v) { p->tripCurrent = static_cast<uint16_t>(v); }},
    {"recover_ms", 0, 60000,
     [](TesterProfile* p, int64_t v) { p->recoverMs = static_cast<uint16_t>(v); }},
    {"settle_ms", 0, 5000,
     [](TesterProfile* p, int64_t v) { p->settleMs = static_cast<uint16_t>(v); }},
};

bool ReadProfile(TomlReader& read, const std::string& key, const toml::node& node,
                 TesterProfile* profile) {
  const toml::table* table = node.as_table();
  if (table == nullptr) return read.WrongType(key, node, "a table with type, voltage and current");
  for (const auto& [name, value] : *table) {
    // Clang 14 lets no lambda capture a structured binding: the lambda takes a plain reference.
    const toml::key& given = name;
    const bool source = std::any_of(std::begin(PROFILE_SOURCE_KEYS), std::end(PROFILE_SOURCE_KEYS),
                                    [&](const ProfileSourceKey& k) { return k.name == given; });
    if (!source && name != "type" && name != "voltage" && name != "current" &&
        name != "min_voltage") {
      return read.Fail(TomlReader::LineOf(value),
                       "unknown key '" + key + "." + std::string(name.str()) + "' of the tester");
    }
  }
  for (const ProfileSourceKey& k : PROFILE_SOURCE_KEYS) {
    const toml::node* value = table->get(k.name);
    int64_t number = 0;
    if (value == nullptr) continue;
    if (!read.Integer(key + "." + std::string(k.name), *value, k.low, k.high, &number)) {
      return false;
    }
    k.store(profile, number);
  }
  const toml::node* type = table->get("type");
  if (type == nullptr) return Missing(read, key + ".type", node);
  const auto typeName = type->value_exact<std::string>();
  if (!typeName || !ProfileTypeFromName(*typeName, &profile->profileClass, &profile->subtype)) {
    return read.Fail(TomlReader::LineOf(*type), "'" + key +
                                                    ".type' of the tester must be a profile type "
                                                    "name such as \"PD-FIX\"");
  }
  for (const char* field : {"voltage", "current"}) {
    if (table->get(field) == nullptr) return Missing(read, key + "." + field, node);
  }
  if (!read.Integer(key + ".voltage", *table->get("voltage"), 0, 0xFFFF, &profile->voltage) ||
      !read.Integer(key + ".current", *table->get("current"), 0, 0xFFFF, &profile->current)) {
    return false;
  }
  const toml::node* minVoltage = table->get("min_voltage");
  profile->minVoltage = 0;
  if (!IsRanged(*profile)) {
    if (minVoltage == nullptr) return true;
    return read.Fail(TomlReader::LineOf(*minVoltage),
                     "'" + key +
                         ".min_voltage' of the tester: only ranged profiles (QC1, QC2, QC3, "
                         "PD-APDO) have one");
  }
  if (minVoltage == nullptr) return Missing(read, key + ".min_voltage", node);
  return read.Integer(key + ".min_voltage", *minVoltage, 0, profile->voltage, &profile->minVoltage);
}

bool ReadProfiles(TomlReader& read, std::string_view key, const toml::node& node,
                  std::vector<TesterProfile>* out) {
  const toml::array* array = node.as_array();
  if (array == nullptr) return read.WrongType(key, node, "an array of tables");
  if (array->size() > 7) {
    return read.Fail(TomlReader::LineOf(node), "'profiles' of the tester holds more than 7");
  }
  out->assign(array->size(), TesterProfile{});
  for (size_t i = 0; i < array->size(); ++i) {
    if (!ReadProfile(read, "profiles[" + std::to_string(i) + "]", *array->get(i), &(*out)[i])) {
      return false;
    }
  }
  return true;
}

bool ReadSettings(TomlReader& read, std::string_view key, const toml::node& node,
                  TesterConfig* config) {
  const toml::table* table = node.as_table();
  if (table == nullptr) return read.WrongType(key, node, "a table of ids");
  for (const auto& [id, value] : *table) {
    const std::string name = "settings." + std::string(id.str());
    if (id == "0" || id == "3") {
      uint8_t* flag = id == "0" ? &config->flagSetting0 : &config->flagSetting3;
      if (const auto on = value.value_exact<bool>()) {
        *flag = *on ? 1 : 0;
      } else if (!read.Integer(name, value, 0, 255, flag)) {
        return false;
      }
    } else if (id == "2" || id == "4") {
      uint16_t* word = id == "2" ? &config->wordSetting2 : &config->wordSetting4;
      if (!read.Integer(name, value, 0, 0xFFFF, word)) return false;
    } else {
      return read.Fail(TomlReader::LineOf(value),
                       "unknown setting id '" + name + "' (0, 2, 3 and 4 can be set)");
    }
  }
  return true;
}

bool ReadNoise(TomlReader& read, std::string_view key, const toml::node& node,
               std::vector<uint8_t>* out) {
  if (const auto on = node.value_exact<bool>()) {
    out->clear();
    if (*on) out->assign(std::begin(TESTER_DEFAULT_NOISE), std::end(TESTER_DEFAULT_NOISE));
    return true;
  }
  if (!node.is_array()) return read.WrongType(key, node, "true, false or an array of bytes");
  return read.Bytes(key, node, out);
}

using TesterKeyReader = bool (*)(TomlReader& read, std::string_view key, const toml::node& node,
                                 TesterConfig* config);

// One row per [device.tester] key.
struct TesterKey {
  std::string_view name;
  TesterKeyReader read;
};

constexpr TesterKey TESTER_KEYS[] = {
    {"version_level",
     [](auto& r, auto k, auto& n, auto* c) { return r.Integer(k, n, 0, 255, &c->versionLevel); }},
    {"version_byte2",
     [](auto& r, auto k, auto& n, auto* c) { return r.Integer(k, n, 0, 255, &c->versionByte2); }},
    {"source", [](auto& r, auto k, auto& n, auto* c) { return r.Bool(k, n, &c->source); }},
    {"ambient",
     [](auto& r, auto k, auto& n, auto* c) { return r.Integer(k, n, 0, 125, &c->ambient); }},
    {"cable_milliohm", [](auto& r, auto k, auto& n,
                          auto* c) { return r.Integer(k, n, 0, 10000, &c->cableMilliohm); }},
    {"loopback_current", [](auto& r, auto k, auto& n,
                            auto* c) { return r.Integer(k, n, 0, 0xFFFF, &c->loopbackCurrent); }},
    {"notify", [](auto& r, auto k, auto& n, auto* c) { return r.Bool(k, n, &c->notify); }},
    {"silent", [](auto& r, auto k, auto& n, auto* c) { return r.Bool(k, n, &c->silent); }},
    {"unanswered",
     [](auto& r, auto k, auto& n, auto* c) { return ReadByteSet(r, k, n, &c->unanswered); }},
    {"wrong_reply",
     [](auto& r, auto k, auto& n, auto* c) { return ReadByteSet(r, k, n, &c->wrongReply); }},
    {"bad_end_byte",
     [](auto& r, auto k, auto& n, auto* c) { return ReadByteSet(r, k, n, &c->badEndByte); }},
    {"noise_before_reply",
     [](auto& r, auto k, auto& n, auto* c) { return ReadNoise(r, k, n, &c->noiseBeforeReply); }},
    {"reply_delay_ms",
     [](auto& r, auto k, auto& n, auto* c) { return r.Integer(k, n, 0, 60000, &c->replyDelayMs); }},
    {"profiles",
     [](auto& r, auto k, auto& n, auto* c) { return ReadProfiles(r, k, n, &c->profiles); }},
    {"settings", ReadSettings},
    {"noise_voltage",
     [](auto& r, auto k, auto& n, auto* c) { return r.Integer(k, n, 0, 1000, &c->noiseVoltage); }},
    {"noise_current",
     [](auto& r, auto k, auto& n, auto* c) { return r.Integer(k, n, 0, 1000, &c->noiseCurrent); }},
    {"seed", [](auto& r, auto k, auto& n,
                auto* c) { return r.Integer(k, n, INT64_MIN, INT64_MAX, &c->seed); }},
    {"thermal_seconds", [](auto& r, auto k, auto& n,
                           auto* c) { return r.Integer(k, n, 0, 3600, &c->thermalSeconds); }},
    {"battery_mwh",
     [](auto& r, auto k, auto& n, auto* c) {
       uint32_t energy = 0;
       if (!r.Integer(k, n, 1, 10000000, &energy)) return false;
       c->batteryMwh = energy;
       return true;
     }},
};

}  // namespace

std::vector<TesterProfile> TesterConfig::DefaultProfiles() {
  const auto profile = [](uint8_t subtype, uint16_t minVoltage, uint16_t voltage,
                          uint16_t current) {
    TesterProfile p;
    p.subtype = subtype;
    p.minVoltage = minVoltage;
    p.voltage = voltage;
    p.current = current;
    return p;
  };
  return {
      profile(0, 0, 5000, 3000),  profile(0, 0, 9000, 3000),     profile(0, 0, 15000, 3000),
      profile(0, 0, 20000, 3250), profile(3, 3300, 11000, 3000),
  };
}

bool ParseTesterConfig(const toml::table* table, TesterConfig* config, std::string* error,
                       uint32_t* line) {
  TesterConfig parsed;
  TomlReader read("of the tester");
  static const toml::table NO_TABLE;
  for (const auto& [key, node] : table != nullptr ? *table : NO_TABLE) {
    const std::string_view name = key.str();
    const auto row = std::find_if(std::begin(TESTER_KEYS), std::end(TESTER_KEYS),
                                  [&](const TesterKey& k) { return k.name == name; });
    if (row == std::end(TESTER_KEYS)) {
      read.Fail(key.source().begin.line,
                "unknown key '" + std::string(key.str()) + "' in the tester table");
    } else {
      row->read(read, key.str(), node, &parsed);
    }
    if (read.Failed()) break;
  }
  if (!read.Failed() && parsed.source && parsed.profiles.empty()) {
    const toml::node* profiles = table != nullptr ? table->get("profiles") : nullptr;
    read.Fail(profiles != nullptr ? TomlReader::LineOf(*profiles) : 0,
              "an attached source offers at least one profile");
  }
  if (read.Failed()) {
    if (error != nullptr) *error = read.What();
    if (line != nullptr) *line = read.Line();
    return false;
  }
  *config = std::move(parsed);
  return true;
}

}  // namespace ralvex::sim

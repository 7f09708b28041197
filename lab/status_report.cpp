#include "lab/status_report.h"

#include <nlohmann/json.hpp>

#include "testers/profile_types.h"

namespace ralvex::lab {

namespace {

double PowerMw(const link::StatsReply& stats) {
  return static_cast<double>(stats.voltage) * stats.measuredCurrent / 1000.0;
}

// Ranged details mean something only from the firmware level that reports them.
bool ShowsRange(const link::ProfileEntry& entry, uint8_t versionLevel) {
  return link::IsRangedProfile(entry) && versionLevel >= link::RANGED_DETAILS_MIN_VERSION;
}

const char* TypeName(const link::ProfileEntry& entry, uint8_t versionLevel) {
  if (link::IsRangedProfile(entry) && !ShowsRange(entry, versionLevel)) return "UNKNOWN";
  return testers::ProfileTypeName(link::ProfileClassOf(entry.descriptor),
                                  link::ProfileSubtypeOf(entry.descriptor));
}

nlohmann::json ProfilesJson(const link::ProfileList& list, uint8_t versionLevel) {
  nlohmann::json profiles = nlohmann::json::array();
  for (std::size_t i = 0; i < link::UsableProfileCount(list); ++i) {
    const link::ProfileEntry& e = list.entries[i];
    nlohmann::json profile = {{"index", i + 1},
                              {"type", TypeName(e, versionLevel)},
                              {"voltage_mv", e.voltage},
                              {"current_ma", e.current}};
    if (ShowsRange(e, versionLevel)) profile["min_voltage_mv"] = e.minVoltage;
    profiles.push_back(profile);
  }
  return profiles;
}

}  // namespace

bool TakeSnapshot(testers::TesterSession& tester, StatusSnapshot& snapshot) {
  snapshot.versionLevel = tester.VersionLevel();
  return tester.GetConnection(snapshot.contract) && tester.GetProfiles(snapshot.profiles) &&
         tester.GetStats(snapshot.stats);
}

nlohmann::json StatusObject(const StatusSnapshot& s) {
  const link::ConnectionReply& c = s.contract;
  return {
      {"schema", STATUS_SCHEMA},
      {"tester", {{"serial", s.serial}, {"index", s.index}, {"version_level", s.versionLevel}}},
      {"contract",
       {{"connected", c.status == 1},
        {"profile", c.profileIndex},
        {"type", testers::ProfileTypeName(c.profileClass, c.profileSubtype)},
        {"voltage_mv", c.setVoltage},
        {"max_current_ma", c.maxCurrent},
        {"max_power_mw", c.maxPower}}},
      {"profiles", ProfilesJson(s.profiles, s.versionLevel)},
      {"measurements",
       {{"temperature_c", s.stats.temperature},
        {"voltage_mv", s.stats.voltage},
        {"set_current_ma", s.stats.setCurrent},
        {"current_ma", s.stats.measuredCurrent},
        {"loopback_ma", s.stats.loopbackCurrent},
        {"power_mw", PowerMw(s.stats)}}},
  };
}

std::string StatusJson(const StatusSnapshot& s) {
  return StatusObject(s).dump(2);
}

void PrintStatusText(std::FILE* out, const StatusSnapshot& s) {
  const link::ConnectionReply& c = s.contract;
  std::fprintf(out, "Tester    %s (index %zu, firmware level %u)\n", s.serial.c_str(), s.index,
               static_cast<unsigned>(s.versionLevel));
  if (c.status == 1) {
    std::fprintf(out, "Contract  profile %u, %s, %u mV, up to %u mA / %lu mW\n",
                 static_cast<unsigned>(c.profileIndex),
                 testers::ProfileTypeName(c.profileClass, c.profileSubtype),
                 static_cast<unsigned>(c.setVoltage), static_cast<unsigned>(c.maxCurrent),
                 static_cast<unsigned long>(c.maxPower));
  } else {
    std::fprintf(out, "Contract  none (not connected)\n");
  }
  std::fprintf(out, "Profiles  %zu\n", link::UsableProfileCount(s.profiles));
  for (std::size_t i = 0; i < link::UsableProfileCount(s.profiles); ++i) {
    const link::ProfileEntry& e = s.profiles.entries[i];
    std::fprintf(out, "  %zu  %-9s ", i + 1, TypeName(e, s.versionLevel));
    if (ShowsRange(e, s.versionLevel))
      std::fprintf(out, "%u-", static_cast<unsigned>(e.minVoltage));
    std::fprintf(out, "%u mV  %u mA\n", static_cast<unsigned>(e.voltage),
                 static_cast<unsigned>(e.current));
  }
  std::fprintf(
      out, "Measured  %u mV, %u mA (set %u mA, loopback %u mA), %.0f mW, %u C\n",
      static_cast<unsigned>(s.stats.voltage), static_cast<unsigned>(s.stats.measuredCurrent),
      static_cast<unsigned>(s.stats.setCurrent), static_cast<unsigned>(s.stats.loopbackCurrent),
      PowerMw(s.stats), static_cast<unsigned>(s.stats.temperature));
  std::fflush(out);
}

}  // namespace ralvex::lab

#include "sim/tester/tester_model.h"

#include <algorithm>
#include <array>

namespace ralvex::sim {

namespace {

constexpr std::array<std::string_view, PROFILE_TYPE_COUNT> PROFILE_TYPE_NAMES = {
    "LEGACY",    "UNKNOWN", "UNKNOWN", "UNKNOWN",  //
    "PTY",       "UNKNOWN", "UNKNOWN", "UNKNOWN",  //
    "BC-SDP",    "BC-CDP",  "BC-DCP",  "UNKNOWN",  //
    "QC1",       "QC2",     "QC3",     "UNKNOWN",  //
    "USBC-1.5A", "USBC-3A", "UNKNOWN", "UNKNOWN",  //
    "PD-FIX",    "PD-BAT",  "PD-VAR",  "PD-APDO",
};

// Where a fresh contract on a ranged profile settles when nothing else asks for a voltage.
constexpr uint16_t MODEL_RANGED_START_VOLTAGE = 5000;

// The measuring shunt reads 0.2 % low.
constexpr uint32_t MODEL_MEASURE_PER_MILLE = 998;

// The load's heat sink warms by 1 degree per 2 W drawn.
constexpr uint32_t MODEL_MILLIWATT_PER_DEGREE = 2000;

std::optional<TesterState> NegotiateAt(const TesterConfig& config, uint16_t voltage,
                                       TesterState state) {
  for (size_t i = 0; i < config.profiles.size(); ++i) {
    const TesterProfile& p = config.profiles[i];
    if (IsRanged(p) ? (voltage >= p.minVoltage && voltage <= p.voltage) : voltage == p.voltage) {
      state.profile = static_cast<uint8_t>(i + 1);
      state.voltage = voltage;
      return state;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string_view ProfileTypeName(uint8_t profileClass, uint8_t subtype) {
  const unsigned index = profileClass * 4u + subtype;
  return subtype < 4 && index < PROFILE_TYPE_NAMES.size() ? PROFILE_TYPE_NAMES[index] : "UNKNOWN";
}

bool ProfileTypeFromName(std::string_view name, uint8_t* profileClass, uint8_t* subtype) {
  if (name == "UNKNOWN") return false;
  for (size_t i = 0; i < PROFILE_TYPE_NAMES.size(); ++i) {
    if (PROFILE_TYPE_NAMES[i] == name) {
      *profileClass = static_cast<uint8_t>(i / 4);
      *subtype = static_cast<uint8_t>(i % 4);
      return true;
    }
  }
  return false;
}

std::optional<uint16_t> ContractVoltage(const TesterProfile& profile, uint16_t requested) {
  if (!IsRanged(profile)) return profile.voltage;
  if (requested < profile.minVoltage || requested > profile.voltage) return std::nullopt;
  return requested;
}

void SettleContract(const TesterConfig& config, bool poweredUp, TesterState* state) {
  if (poweredUp) state->load = state->defaultLoad.value_or(0);
  if (!config.source || config.profiles.empty()) {
    state->profile = 0;
    state->voltage = 0;
    return;
  }
  if (!poweredUp && state->profile >= 1 && state->profile <= config.profiles.size()) {
    const TesterProfile& p = config.profiles[state->profile - 1];
    if (ContractVoltage(p, state->voltage) == state->voltage) return;
  }
  if (state->defaultVoltage) {
    if (auto settled = NegotiateAt(config, *state->defaultVoltage, *state)) {
      *state = *settled;
      return;
    }
  }
  const TesterProfile& first = config.profiles.front();
  state->profile = 1;
  state->voltage = first.voltage;
  if (IsRanged(first)) {
    state->voltage =
        std::max(first.minVoltage, std::min(MODEL_RANGED_START_VOLTAGE, first.voltage));
  }
}

uint16_t SetCurrent(const TesterConfig& config, const TesterState& state) {
  if (!config.source || state.profile == 0 || state.profile > config.profiles.size()) return 0;
  uint16_t limit = config.profiles[state.profile - 1].current;
  if (state.maxLoad) limit = std::min(limit, *state.maxLoad);
  return std::min(state.load, limit);
}

TesterReadings Measure(const TesterConfig& config, const TesterState& state) {
  TesterReadings r;
  r.temperature = config.ambient;
  if (!config.source || state.profile == 0) return r;
  r.setCurrent = SetCurrent(config, state);
  r.measuredCurrent =
      static_cast<uint16_t>((uint32_t{r.setCurrent} * MODEL_MEASURE_PER_MILLE + 500) / 1000);
  const uint32_t drop = (uint32_t{r.measuredCurrent} * config.cableMilliohm + 500) / 1000;
  r.voltage = static_cast<uint16_t>(state.voltage > drop ? state.voltage - drop : 0);
  const uint32_t milliwatt = uint32_t{r.voltage} * r.measuredCurrent / 1000;
  r.temperature = static_cast<uint8_t>(
      std::min<uint32_t>(255, config.ambient + milliwatt / MODEL_MILLIWATT_PER_DEGREE));
  r.loopbackCurrent = config.loopbackCurrent;
  return r;
}

}  // namespace ralvex::sim

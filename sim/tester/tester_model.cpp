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

bool BatteryEmpty(const TesterConfig& config, const TesterState& state) {
  return config.batteryMwh && state.source.batteryUj == uint64_t{0};
}

bool SourceUp(const TesterConfig& config, const TesterState& state) {
  return config.source && !config.profiles.empty() && state.source.recoverLeftMs == 0 &&
         !BatteryEmpty(config, state);
}

const TesterProfile* ContractProfile(const TesterConfig& config, const TesterState& state) {
  if (!SourceUp(config, state) || state.profile == 0 || state.profile > config.profiles.size()) {
    return nullptr;
  }
  return &config.profiles[state.profile - 1];
}

void ContractOnProfileOne(const TesterConfig& config, TesterState* state) {
  const TesterProfile& first = config.profiles.front();
  state->profile = 1;
  state->voltage = first.voltage;
  if (IsRanged(first)) {
    state->voltage =
        std::max(first.minVoltage, std::min(MODEL_RANGED_START_VOLTAGE, first.voltage));
  }
}

void SettleContract(const TesterConfig& config, bool poweredUp, TesterState* state) {
  if (poweredUp) state->load = state->defaultLoad.value_or(0);
  if (!SourceUp(config, *state)) {
    state->profile = 0;
    state->voltage = 0;
    return;
  }
  if (!poweredUp && state->profile >= 1 && state->profile <= config.profiles.size()) {
    const TesterProfile& p = config.profiles[state->profile - 1];
    if (ContractVoltage(p, state->voltage) == state->voltage) return;
  }
  state->source.moveMs = 0;  // a contract negotiated afresh stands at once
  if (state->defaultVoltage) {
    if (auto settled = NegotiateAt(config, *state->defaultVoltage, *state)) {
      *state = *settled;
      return;
    }
  }
  ContractOnProfileOne(config, state);
}

uint16_t SetCurrent(const TesterConfig& config, const TesterState& state) {
  const TesterProfile* p = ContractProfile(config, state);
  if (p == nullptr) return 0;
  return std::min(state.load, state.maxLoad.value_or(p->current));
}

uint16_t OutputVoltage(const TesterConfig& config, const TesterState& state) {
  const TesterProfile* p = ContractProfile(config, state);
  if (p == nullptr) return 0;
  const int32_t target = std::clamp<int32_t>(state.voltage + p->voltageOffset, 0, 0xFFFF);
  const SourceState& s = state.source;
  if (s.moveMs == 0 || s.movedMs >= s.moveMs) return static_cast<uint16_t>(target);
  return static_cast<uint16_t>(s.moveFrom + (target - s.moveFrom) * s.movedMs / s.moveMs);
}

OperatingPoint Operate(const TesterConfig& config, const TesterState& state) {
  OperatingPoint op;
  const TesterProfile* p = ContractProfile(config, state);
  if (p == nullptr) return op;
  op.setCurrent = SetCurrent(config, state);
  op.drawnCurrent = op.setCurrent;
  uint32_t output = OutputVoltage(config, state);
  if (p->profileClass == 5 && p->subtype == 3 && op.setCurrent > p->current) {
    // A PD-APDO source in current limit: the current is held, the voltage gives way.
    op.drawnCurrent = p->current;
    output = p->minVoltage;
  }
  op.measuredCurrent =
      static_cast<uint16_t>((uint32_t{op.drawnCurrent} * MODEL_MEASURE_PER_MILLE + 500) / 1000);
  const uint32_t milliohm = uint32_t{config.cableMilliohm} + p->sourceMilliohm;
  const uint32_t drop = (uint32_t{op.measuredCurrent} * milliohm + 500) / 1000;
  op.voltage = static_cast<uint16_t>(output > drop ? output - drop : 0);
  op.milliwatt = uint32_t{op.voltage} * op.measuredCurrent / 1000;
  return op;
}

int32_t SteadyHeatMc(const TesterConfig& config, uint32_t milliwatt) {
  return static_cast<int32_t>((config.ambient + milliwatt / MODEL_MILLIWATT_PER_DEGREE) * 1000);
}

TesterReadings Measure(const TesterConfig& config, const TesterState& state) {
  TesterReadings r;
  const OperatingPoint op = Operate(config, state);
  int32_t heat = SteadyHeatMc(config, op.milliwatt);
  if (config.thermalSeconds > 0) heat = state.source.heatMc.value_or(config.ambient * 1000);
  r.temperature = static_cast<uint8_t>(std::clamp((heat + 500) / 1000, 0, 255));
  if (ContractProfile(config, state) == nullptr) return r;
  r.setCurrent = op.setCurrent;
  r.measuredCurrent = op.measuredCurrent;
  r.voltage = op.voltage;
  r.loopbackCurrent = config.loopbackCurrent;
  return r;
}

}  // namespace ralvex::sim

// The tester's view of its source and its load: profile types, the contract and the readings.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/tester/tester_config.h"

namespace ralvex::sim {

// Profile type names by class x 4 + subtype; "UNKNOWN" fills the places without a name.
inline constexpr int PROFILE_TYPE_COUNT = 24;
std::string_view ProfileTypeName(uint8_t profileClass, uint8_t subtype);
// Class and subtype for a type name; false for "UNKNOWN" and names not in the table.
bool ProfileTypeFromName(std::string_view name, uint8_t* profileClass, uint8_t* subtype);

// QC types (class 3) and PD-APDO (class 5, subtype 3) take a voltage from a range.
inline bool IsRangedType(uint8_t profileClass, uint8_t subtype) {
  return profileClass == 3 || (profileClass == 5 && subtype == 3);
}
inline bool IsRanged(const TesterProfile& p) {
  return IsRangedType(p.profileClass, p.subtype);
}

// What the tester keeps: the stored settings and the live state.
struct TesterState {
  std::optional<uint16_t> defaultVoltage;
  std::optional<uint16_t> defaultLoad;
  std::optional<uint16_t> maxLoad;  // none: automatic limits
  uint8_t profile = 0;              // the contract's profile, 1..7; 0 without a contract
  uint16_t voltage = 0;             // the contract's voltage in mV
  uint16_t load = 0;                // the requested load in mA
};

// The voltage a request for `profile` at `requested` mV settles at: a fixed profile's own voltage,
// a ranged profile's requested one when it lies in the range; none otherwise.
std::optional<uint16_t> ContractVoltage(const TesterProfile& profile, uint16_t requested);

// Brings a stored (or fresh) state in line with the bench: no contract without a source; a
// contract that does not fit the profiles is negotiated again (the default voltage first, else
// profile 1). `poweredUp` also applies the stored default load, as a tester does at power-up.
void SettleContract(const TesterConfig& config, bool poweredUp, TesterState* state);

struct TesterReadings {
  uint8_t temperature = 0;  // degrees C
  uint16_t voltage = 0;     // mV at the load, after the cable's drop
  uint16_t setCurrent = 0;
  uint16_t measuredCurrent = 0;
  uint16_t loopbackCurrent = 0;
};

// The load draws the requested current limited by the maximum load and the contract's current.
uint16_t SetCurrent(const TesterConfig& config, const TesterState& state);
TesterReadings Measure(const TesterConfig& config, const TesterState& state);

}  // namespace ralvex::sim

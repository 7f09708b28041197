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

// What the source itself is doing beyond the contract: a move between voltages, a trip of its
// over-current protection, the energy left in a battery; and the load's heat sink and the
// readings' variation. All of it persists with the live state.
struct SourceState {
  uint16_t moveFrom = 0;              // mV the output left from when the move began
  uint16_t moveMs = 0;                // the move's length; 0: the output stands at its target
  uint16_t movedMs = 0;               // how far into the move
  uint16_t recoverLeftMs = 0;         // after a trip: the contract stays down this long yet
  std::optional<uint64_t> batteryUj;  // energy left in a battery source (microjoules)
  std::optional<int32_t> heatMc;      // the heat sink in milli-degrees while it lags the power
  uint64_t noiseDraws = 0;            // readings' variation drawn so far
};

// What the tester keeps: the stored settings and the live state.
struct TesterState {
  std::optional<uint16_t> defaultVoltage;
  std::optional<uint16_t> defaultLoad;
  std::optional<uint16_t> maxLoad;  // none: automatic limits
  uint8_t profile = 0;              // the contract's profile, 1..7; 0 without a contract
  uint16_t voltage = 0;             // the contract's voltage in mV
  uint16_t load = 0;                // the requested load in mA
  SourceState source;
};

// The voltage a request for `profile` at `requested` mV settles at: a fixed profile's own voltage,
// a ranged profile's requested one when it lies in the range; none otherwise.
std::optional<uint16_t> ContractVoltage(const TesterProfile& profile, uint16_t requested);

// A battery source with nothing left.
bool BatteryEmpty(const TesterConfig& config, const TesterState& state);
// The source offers its profiles: it is attached, not tripped and not run down.
bool SourceUp(const TesterConfig& config, const TesterState& state);
// The contract's profile, or null without a contract.
const TesterProfile* ContractProfile(const TesterConfig& config, const TesterState& state);

// Brings a stored (or fresh) state in line with the bench: no contract without a source; a
// contract that does not fit the profiles is negotiated again (the default voltage first, else
// profile 1). `poweredUp` also applies the stored default load, as a tester does at power-up.
void SettleContract(const TesterConfig& config, bool poweredUp, TesterState* state);
// The contract a source negotiates first: profile 1 at its voltage (a ranged one near 5 V).
void ContractOnProfileOne(const TesterConfig& config, TesterState* state);

struct TesterReadings {
  uint8_t temperature = 0;  // degrees C
  uint16_t voltage = 0;     // mV at the load, after the drops
  uint16_t setCurrent = 0;
  uint16_t measuredCurrent = 0;
  uint16_t loopbackCurrent = 0;
};

// Where the source and the load meet at this moment.
struct OperatingPoint {
  uint16_t setCurrent = 0;       // what the load is set to draw
  uint16_t drawnCurrent = 0;     // what flows: less when a PD-APDO source limits it
  uint16_t measuredCurrent = 0;  // what the shunt reads
  uint16_t voltage = 0;          // at the load
  uint32_t milliwatt = 0;        // voltage x measured current
};

// The load's limit: the stored maximum load (even above the contract's current), else the
// contract's current; the load draws the requested current up to it.
uint16_t SetCurrent(const TesterConfig& config, const TesterState& state);
// The source's output before any drop: the contract plus the source's offset, or a point on the
// straight line there while a move is under way.
uint16_t OutputVoltage(const TesterConfig& config, const TesterState& state);
OperatingPoint Operate(const TesterConfig& config, const TesterState& state);
// The heat sink's temperature in milli-degrees once it has followed `milliwatt` drawn.
int32_t SteadyHeatMc(const TesterConfig& config, uint32_t milliwatt);
// The readings without their variation.
TesterReadings Measure(const TesterConfig& config, const TesterState& state);

}  // namespace ralvex::sim

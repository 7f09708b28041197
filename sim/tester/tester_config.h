// The emulated tester's bench table: what it is, what source it sits on, and which faults it shows.
//
// [device.tester] keys (all optional; a missing table gives the default tester):
//
//   version_level = 21        CMD_HELLO reply byte 1, 0..255; 20 or more lets the host show the
//                             voltage range of ranged profiles
//   version_byte2 = 0         CMD_HELLO reply byte 2, 0..255
//   source = true             a USB-C source is attached; without one the tester reports
//                             "not connected", no profiles and zero readings (temperature stays
//                             at ambient)
//   ambient = 25              ambient temperature in degrees C, 0..125
//   cable_milliohm = 100      cable resistance, 0..10000; the voltage sags by I x R
//   loopback_current = 0      loopback current in mA that the stats report, 0..65535
//   notify = false            send a notification frame when the contract changes:
//                               20 id vlo vhi  the contract moved to another profile
//                               21 id vlo vhi  same profile, new voltage (ranged profiles)
//                             (codes 22 and 23 are never sent)
//   silent = false            takes frames and acts on them, never sends a byte
//   unanswered = []           command bytes whose replies are never sent (the command still acts)
//   wrong_reply = []          command bytes answered with byte 0 = command XOR 0x40
//   bad_end_byte = []         command bytes whose reply frame ends with 0x04 instead of 0x03
//   noise_before_reply = false
//                             true: the bytes 55 AA 00 FF precede every reply frame;
//                             an array of bytes: those bytes precede every reply frame
//   reply_delay_ms = 0        every frame the tester sends goes out this many ms late, 0..60000
//   profiles = [ ... ]        the source's profiles, 1 to 7 tables, numbered 1..7 in order:
//                               type = one of "LEGACY" "PTY" "BC-SDP" "BC-CDP" "BC-DCP" "QC1"
//                                 "QC2" "QC3" "USBC-1.5A" "USBC-3A" "PD-FIX" "PD-BAT" "PD-VAR"
//                                 "PD-APDO"
//                               voltage = mV (0..65535; the maximum of a ranged profile)
//                               current = mA (0..65535)
//                               min_voltage = mV, required for the ranged types (QC1, QC2, QC3,
//                                 PD-APDO) and not allowed for the others; at most voltage
//                               voltage_offset = 0   mV the source delivers above the contract,
//                                 -5000..5000
//                               source_milliohm = 0  the source's output resistance, 0..10000
//                               trip_current = none  mA, 1..65535: over-current protection; a
//                                 current drawn above it drops the contract for recover_ms
//                               recover_ms = 1000    0..60000; then profile 1 is negotiated again
//                               settle_ms = 0        0..5000: a move to this profile takes this
//                                 long, in a straight line from the old voltage
//                             default: PD-FIX 5000/3000, 9000/3000, 15000/3000, 20000/3250 and
//                             PD-APDO 3300-11000 mV, 3000 mA
//   settings = { 0 = 1, 2 = 500, 3 = 0, 4 = 1000 }
//                             what CMD_GET_SETTING answers for ids 0 and 3 (one byte, 0..255 or
//                             a boolean) and ids 2 and 4 (two bytes, 0..65535); the shown values
//                             are the defaults. Id 1 is the maximum load, set by the host.
//   noise_voltage = 0         mV, 0..1000: each voltage reading varies uniformly within +-this
//   noise_current = 0         mA, 0..1000: the same for the measured current
//   seed = 1                  any integer: where the readings' variation starts
//   thermal_seconds = 0       0..3600: the temperature's time constant (0: it follows at once)
//   battery_mwh = none        1..10000000: the source is a battery of this energy; once empty
//                             it drops the contract for good (until the state is reset)
//
// Replies: every command is answered with a frame whose payload repeats its command byte. Set
// commands (0D 0E 0F 10 E0) are acknowledged with two bytes, the command byte and a status:
// 0 accepted, 1 refused (no source, unknown profile, voltage outside the range, read-only setting),
// 2 malformed (arguments missing). An unknown command byte is answered with 7F and that byte.
// CMD_GET_SETTING 1 answers the maximum load (0: automatic limits); other unknown ids answer E1
// alone. Request frames with a wrong checksum or end byte, or longer than 64 payload bytes, are
// dropped without an answer.
//
// Stored settings (default voltage, default load, maximum load) and live state (contract, load)
// persist in the bench's state file, one table per serial number. A tester without state starts
// with nothing stored, automatic load limits, a load of 0 mA and its contract on profile 1; one
// whose stored contract no longer fits the bench's profiles negotiates again, preferring the
// stored default voltage.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <toml++/toml.h>

namespace ralvex::sim {

struct TesterProfile {
  uint8_t profileClass = 5;
  uint8_t subtype = 0;
  uint16_t minVoltage = 0;  // ranged profiles only
  uint16_t voltage = 0;     // the maximum of a ranged profile
  uint16_t current = 0;
  int16_t voltageOffset = 0;            // mV the source delivers beyond the contract
  uint16_t sourceMilliohm = 0;          // the source's output resistance
  std::optional<uint16_t> tripCurrent;  // over-current protection; none: never trips
  uint16_t recoverMs = 1000;            // how long a trip keeps the contract down
  uint16_t settleMs = 0;                // how long a move to this profile takes
};

struct TesterConfig {
  uint8_t versionLevel = 21;
  uint8_t versionByte2 = 0;
  bool source = true;
  uint8_t ambient = 25;
  uint16_t cableMilliohm = 100;
  uint16_t loopbackCurrent = 0;
  bool notify = false;
  bool silent = false;
  std::bitset<256> unanswered;
  std::bitset<256> wrongReply;
  std::bitset<256> badEndByte;
  std::vector<uint8_t> noiseBeforeReply;  // empty: no noise
  uint32_t replyDelayMs = 0;
  std::vector<TesterProfile> profiles = DefaultProfiles();
  uint8_t flagSetting0 = 1;
  uint16_t wordSetting2 = 500;
  uint8_t flagSetting3 = 0;
  uint16_t wordSetting4 = 1000;
  uint16_t noiseVoltage = 0;  // mV either side of the true reading
  uint16_t noiseCurrent = 0;  // mA either side
  uint64_t seed = 1;
  uint16_t thermalSeconds = 0;         // 0: the temperature follows the power at once
  std::optional<uint32_t> batteryMwh;  // none: the source is mains powered

  static std::vector<TesterProfile> DefaultProfiles();
};

// The noise `noise_before_reply = true` stands for.
inline constexpr uint8_t TESTER_DEFAULT_NOISE[] = {0x55, 0xAA, 0x00, 0xFF};

// Reads a bench table into *config (null table: defaults). On a bad key or value returns false,
// sets *error to one line naming the key and the problem and *line (when given) to the source line
// (0: unknown); *config is left as it was.
bool ParseTesterConfig(const toml::table* table, TesterConfig* config, std::string* error,
                       uint32_t* line = nullptr);

}  // namespace ralvex::sim

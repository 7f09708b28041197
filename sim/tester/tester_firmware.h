// The tester's command handling: one request payload in, the reply and any notifications out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/tester/tester_config.h"
#include "sim/tester/tester_model.h"

namespace ralvex::sim {

inline constexpr uint8_t TESTER_CMD_HELLO = 0x01;
inline constexpr uint8_t TESTER_CMD_GET_CONNECTION = 0x0A;
inline constexpr uint8_t TESTER_CMD_GET_PROFILES = 0x0B;
inline constexpr uint8_t TESTER_CMD_GET_STATS = 0x0C;
inline constexpr uint8_t TESTER_CMD_SET_PROFILE = 0x0D;
inline constexpr uint8_t TESTER_CMD_SET_DEFVOLT = 0x0E;
inline constexpr uint8_t TESTER_CMD_SET_DEFLOAD = 0x0F;
inline constexpr uint8_t TESTER_CMD_SET_LOAD = 0x10;
inline constexpr uint8_t TESTER_CMD_SET_SETTING = 0xE0;
inline constexpr uint8_t TESTER_CMD_GET_SETTING = 0xE1;
// Answer to a command byte the firmware does not know: 7F, the byte.
inline constexpr uint8_t TESTER_NAK = 0x7F;
inline constexpr uint8_t TESTER_NOTIFY_PROFILE = 0x20;  // contract moved to another profile
inline constexpr uint8_t TESTER_NOTIFY_VOLTAGE = 0x21;  // same profile, new voltage
inline constexpr uint8_t TESTER_SETTING_MAXLOAD = 1;

// Byte 1 of a set command's acknowledgement.
enum TesterAck : uint8_t {
  TESTER_ACK_OK = 0,
  TESTER_ACK_REFUSED = 1,
  TESTER_ACK_MALFORMED = 2,
};

struct TesterResponse {
  std::vector<std::vector<uint8_t>> notifications;  // payloads sent ahead of the reply
  std::vector<uint8_t> reply;                       // payload; empty when nothing is answered
  bool stateChanged = false;                        // the state wants saving
  // Sent comebackAfterMs later (when the source is back after a trip); empty: nothing.
  std::vector<uint8_t> comeback;
  uint32_t comebackAfterMs = 0;
};

class TesterFirmware {
 public:
  // `state` as loaded (or fresh); `live` when it holds a contract and load that were kept powered.
  TesterFirmware(TesterConfig config, TesterState state, bool live);

  TesterResponse Handle(const uint8_t* payload, size_t length);
  // Lets time pass for the source and the load.
  void Advance(uint64_t ms);

  const TesterConfig& config() const { return config_; }
  const TesterState& state() const { return state_; }

 private:
  void Hello(TesterResponse* r) const;
  void Connection(TesterResponse* r) const;
  void Profiles(TesterResponse* r) const;
  void Stats(TesterResponse* r);
  void AfterChange(TesterResponse* r);
  uint8_t SetProfile(const uint8_t* payload, size_t length, TesterResponse* r);
  uint8_t SetSetting(const uint8_t* payload, size_t length, TesterResponse* r);
  void GetSetting(const uint8_t* payload, size_t length, TesterResponse* r) const;

  TesterConfig config_;
  TesterState state_;
};

}  // namespace ralvex::sim

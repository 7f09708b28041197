// The tester's command set: command bytes, reply records and their decoders, and the profile
// descriptor rules shared by the reports and the set-profile action.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ralvex::link {

inline constexpr uint8_t CMD_HELLO = 0x01;
inline constexpr uint8_t CMD_GET_CONNECTION = 0x0A;
inline constexpr uint8_t CMD_GET_PROFILES = 0x0B;
inline constexpr uint8_t CMD_GET_STATS = 0x0C;
inline constexpr uint8_t CMD_SET_PROFILE = 0x0D;
inline constexpr uint8_t CMD_SET_DEFVOLT = 0x0E;
inline constexpr uint8_t CMD_SET_DEFLOAD = 0x0F;
inline constexpr uint8_t CMD_SET_LOAD = 0x10;
inline constexpr uint8_t CMD_SET_SETTING = 0xE0;
inline constexpr uint8_t CMD_GET_SETTING = 0xE1;

// Unsolicited frames: payload byte 0 in 0x20..0x23 maps to notification codes 1..4.
inline constexpr uint8_t NOTIFY_FIRST_BYTE = 0x20;
inline constexpr uint8_t NOTIFY_LAST_BYTE = 0x23;

// Setting ids. 1, the maximum allowed load, is only ever written. The others are read at open:
// 0 and 3 are on/off flags, 2 and 4 16-bit values. What they govern is the tester's business;
// the program keeps them and acts on none.
inline constexpr uint8_t SETTING_FLAG_0 = 0;
inline constexpr uint8_t SETTING_MAXLOAD = 1;
inline constexpr uint8_t SETTING_VALUE_2 = 2;
inline constexpr uint8_t SETTING_FLAG_3 = 3;
inline constexpr uint8_t SETTING_VALUE_4 = 4;

// Kind byte of CMD_SET_SETTING: the number of value bytes that follow it.
inline constexpr int32_t SETTING_KIND_NONE = 0;
inline constexpr int32_t SETTING_KIND_U16 = 2;

// Replies from version 20 on carry meaningful ranged-profile details.
inline constexpr uint8_t RANGED_DETAILS_MIN_VERSION = 20;

// Notification code (1..4) of a frame whose payload starts with `firstByte`; 0 for anything else.
int NotificationCode(uint8_t firstByte);

// Reply test: byte 0 repeats the command byte. An empty reply never passes.
bool ReplyRepeats(std::span<const uint8_t> reply, uint8_t command);

struct HelloReply {
  uint8_t versionLevel;
  uint8_t versionSublevel;  // kept, not interpreted
};

// What the link keeps of the settings read at open.
struct TesterSettings {
  bool flag0;
  uint16_t value2;
  bool flag3;
  uint16_t value4;
};

struct ConnectionReply {
  uint8_t status;  // 1: a PD contract is up
  uint8_t profileIndex;
  uint8_t profileClass;
  uint8_t profileSubtype;
  uint16_t setVoltage;  // mV
  uint16_t maxCurrent;  // mA
  uint32_t maxPower;    // mW
};

struct ProfileEntry {
  uint16_t descriptor;  // bits 0-3 profileId, 4-7 class, 8-10 subtype
  uint16_t minVoltage;  // mV, ranged profiles only
  uint16_t voltage;     // mV, the maximum for a ranged profile
  uint16_t current;     // mA
};

inline constexpr std::size_t PROFILE_LIST_CAPACITY = 7;
inline constexpr std::size_t PROFILE_ENTRY_SIZE = 8;
inline constexpr std::size_t PROFILE_LIST_SIZE = 58;

struct ProfileList {
  uint8_t count;  // as received; may exceed PROFILE_LIST_CAPACITY
  uint8_t spare;
  ProfileEntry entries[PROFILE_LIST_CAPACITY];
};

struct StatsReply {
  uint8_t reserved;
  uint8_t temperature;  // degrees Celsius
  uint16_t voltage;     // mV
  uint16_t setCurrent;  // mA
  uint16_t measuredCurrent;
  uint16_t loopbackCurrent;
};

// Decoders take the reply payload (command byte at index 0) and read fixed offsets. They do not
// apply the reply test. Bytes the payload does not reach decode as 0, so a short reply can never
// show values left over from an earlier frame.
HelloReply DecodeHello(std::span<const uint8_t> reply);
ConnectionReply DecodeConnection(std::span<const uint8_t> reply);
ProfileList DecodeProfiles(std::span<const uint8_t> reply);
StatsReply DecodeStats(std::span<const uint8_t> reply);
// CMD_GET_SETTING replies: ids 0 and 3 are flags (byte 1 non-zero), ids 2 and 4 are u16 at 1-2.
bool DecodeSettingFlag(std::span<const uint8_t> reply);
uint16_t DecodeSettingValue(std::span<const uint8_t> reply);

// The tester's verdict on a set command, byte 1 of its acknowledgement (command byte, status).
enum SetStatus : uint8_t {
  SET_ACCEPTED = 0,
  SET_REFUSED = 1,    // understood and declined: no such profile, a voltage beyond it
  SET_MALFORMED = 2,  // the request's arguments did not make sense to the tester
};
using SetVerdict = std::optional<SetStatus>;
// The verdict of an acknowledgement; none when the reply stops after the command byte (a tester
// that acknowledges with the byte alone) or carries a status this program does not know.
SetVerdict DecodeSetStatus(std::span<const uint8_t> reply);

// What a set operation learns. `answered` is what the program acts on: a reply frame arrived in
// time (for CMD_SET_PROFILE, one repeating 0x0D). `status` is the verdict, present only when the
// reply repeated the command byte and carried a known status, so an answered request may still
// have no known verdict.
struct SetResult {
  bool answered = false;
  SetVerdict status;
  bool Accepted() const { return answered && status == SET_ACCEPTED; }
  // Answered with a verdict other than accepted (refused, malformed); an answer without one is not.
  bool Refused() const { return answered && status && !Accepted(); }
};

// How the link exchanges each command: the command byte, whether the reply must repeat it, and
// the decoder that makes the command's reply record from a reply that does (null: nothing is
// taken). A command without a reply test succeeds on any reply; its record is decoded only from
// one that repeats the command byte and is left alone otherwise. The record type is part of the
// description, so an exchange can only decode into a record of its own type.
struct NoRecord {};

template <class Record>
struct CommandExchange {
  uint8_t command;
  bool replyChecked;
  Record (*decode)(std::span<const uint8_t> reply);
};

inline constexpr CommandExchange<HelloReply> EXCHANGE_HELLO = {CMD_HELLO, true, DecodeHello};
inline constexpr CommandExchange<ConnectionReply> EXCHANGE_GET_CONNECTION = {
    CMD_GET_CONNECTION, true, DecodeConnection};
inline constexpr CommandExchange<ProfileList> EXCHANGE_GET_PROFILES = {CMD_GET_PROFILES, true,
                                                                       DecodeProfiles};
inline constexpr CommandExchange<StatsReply> EXCHANGE_GET_STATS = {CMD_GET_STATS, true,
                                                                   DecodeStats};
inline constexpr CommandExchange<SetVerdict> EXCHANGE_SET_PROFILE = {CMD_SET_PROFILE, true,
                                                                     DecodeSetStatus};
inline constexpr CommandExchange<SetVerdict> EXCHANGE_SET_DEFVOLT = {CMD_SET_DEFVOLT, false,
                                                                     DecodeSetStatus};
inline constexpr CommandExchange<SetVerdict> EXCHANGE_SET_DEFLOAD = {CMD_SET_DEFLOAD, false,
                                                                     DecodeSetStatus};
inline constexpr CommandExchange<SetVerdict> EXCHANGE_SET_LOAD = {CMD_SET_LOAD, false,
                                                                  DecodeSetStatus};
inline constexpr CommandExchange<SetVerdict> EXCHANGE_SET_SETTING = {CMD_SET_SETTING, false,
                                                                     DecodeSetStatus};
inline constexpr CommandExchange<bool> EXCHANGE_GET_SETTING_FLAG = {CMD_GET_SETTING, true,
                                                                    DecodeSettingFlag};
inline constexpr CommandExchange<uint16_t> EXCHANGE_GET_SETTING_VALUE = {CMD_GET_SETTING, true,
                                                                         DecodeSettingValue};

// Most argument bytes a request carries after its command byte (CMD_SET_SETTING with a value).
inline constexpr std::size_t REQUEST_MAX_ARGUMENTS = 4;

// What SetMaxLoad stores and sends: kind 0 and no value for 0 mA (the tester's automatic limits),
// kind 2 and the value otherwise.
struct MaxLoadSetting {
  int32_t kind;
  uint16_t value;
};
MaxLoadSetting MakeMaxLoadSetting(uint16_t maxLoadMa);
// The arguments of CMD_SET_SETTING for SETTING_MAXLOAD: 01 kind [lo hi]; the value goes out only
// for kind 2. Returns how many of the four bytes are used.
std::size_t MaxLoadArguments(const MaxLoadSetting& setting,
                             std::span<uint8_t, REQUEST_MAX_ARGUMENTS> out);

// A 16-bit argument goes out low byte first.
constexpr uint8_t LowByte(uint16_t value) {
  return static_cast<uint8_t>(value & 0xFF);
}
constexpr uint8_t HighByte(uint16_t value) {
  return static_cast<uint8_t>(value >> 8);
}

// Descriptor fields.
constexpr uint8_t ProfileIdOf(uint16_t descriptor) {
  return descriptor & 0x000F;
}
constexpr uint8_t ProfileClassOf(uint16_t descriptor) {
  return (descriptor & 0x00F0) >> 4;
}
constexpr uint8_t ProfileSubtypeOf(uint16_t descriptor) {
  return (descriptor & 0x0700) >> 8;
}
// Ranged profiles (class 3, or class 5 subtype 3) carry a voltage range and are requested at the
// user's voltage; every other entry is fixed at its own voltage.
constexpr bool IsRangedProfile(uint16_t descriptor) {
  return (descriptor & 0x00F0) == 0x0030 ||
         ((descriptor & 0x00F0) == 0x0050 && (descriptor & 0x0700) == 0x0300);
}
constexpr bool IsRangedProfile(const ProfileEntry& entry) {
  return IsRangedProfile(entry.descriptor);
}

// Voltage that CMD_SET_PROFILE sends for `entry`: the requested one for a ranged profile, the
// entry's own voltage for a fixed one.
uint16_t SetProfileVoltage(const ProfileEntry& entry, uint16_t requestedMv);

// Whether `entry` may be requested at `requestedMv`: a fixed profile always (its own voltage goes
// out), a ranged one when the voltage lies in its minVoltage..voltage. Below
// RANGED_DETAILS_MIN_VERSION the list's ranges mean nothing, so there is nothing to judge against
// and every voltage is taken.
bool ProfileTakesVoltage(const ProfileEntry& entry, uint16_t requestedMv, uint8_t versionLevel);

// Entry number `index` (1-based) of `list`, or nullptr when index is 0, above the count, or beyond
// the seven entries the record holds.
const ProfileEntry* FindProfile(const ProfileList& list, unsigned index);

// Number of entries a reader may use: the count, capped at the record's capacity.
std::size_t UsableProfileCount(const ProfileList& list);

}  // namespace ralvex::link

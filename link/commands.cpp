#include "link/commands.h"

namespace ralvex::link {

namespace {

// Reply bytes beyond the payload read as 0: a short reply must not pick up stale bytes.
uint8_t U8(std::span<const uint8_t> p, std::size_t at) {
  return at < p.size() ? p[at] : 0;
}

uint16_t U16(std::span<const uint8_t> p, std::size_t at) {
  return static_cast<uint16_t>(U8(p, at) | (U8(p, at + 1) << 8));
}

uint32_t U32(std::span<const uint8_t> p, std::size_t at) {
  return static_cast<uint32_t>(U16(p, at)) | (static_cast<uint32_t>(U16(p, at + 2)) << 16);
}

}  // namespace

int NotificationCode(uint8_t firstByte) {
  if (firstByte < NOTIFY_FIRST_BYTE || firstByte > NOTIFY_LAST_BYTE) return 0;
  return firstByte - NOTIFY_FIRST_BYTE + 1;
}

bool ReplyRepeats(std::span<const uint8_t> reply, uint8_t command) {
  return !reply.empty() && reply[0] == command;
}

HelloReply DecodeHello(std::span<const uint8_t> reply) {
  return {U8(reply, 1), U8(reply, 2)};
}

ConnectionReply DecodeConnection(std::span<const uint8_t> reply) {
  ConnectionReply r{};
  r.status = U8(reply, 1);
  r.profileIndex = U8(reply, 2);
  r.profileClass = U8(reply, 3);
  r.profileSubtype = U8(reply, 4);
  r.setVoltage = U16(reply, 5);
  r.maxCurrent = U16(reply, 7);
  r.maxPower = U32(reply, 9);
  return r;
}

ProfileList DecodeProfiles(std::span<const uint8_t> reply) {
  // The record is reply bytes 1..58.
  ProfileList list{};
  list.count = U8(reply, 1);
  list.spare = U8(reply, 2);
  for (std::size_t i = 0; i < PROFILE_LIST_CAPACITY; ++i) {
    const std::size_t at = 3 + i * PROFILE_ENTRY_SIZE;
    ProfileEntry& e = list.entries[i];
    e.descriptor = U16(reply, at);
    e.minVoltage = U16(reply, at + 2);
    e.voltage = U16(reply, at + 4);
    e.current = U16(reply, at + 6);
  }
  return list;
}

StatsReply DecodeStats(std::span<const uint8_t> reply) {
  StatsReply r{};
  r.reserved = U8(reply, 1);
  r.temperature = U8(reply, 2);
  r.voltage = U16(reply, 3);
  r.setCurrent = U16(reply, 5);
  r.measuredCurrent = U16(reply, 7);
  r.loopbackCurrent = U16(reply, 9);
  return r;
}

bool DecodeSettingFlag(std::span<const uint8_t> reply) {
  return U8(reply, 1) != 0;
}

uint16_t DecodeSettingValue(std::span<const uint8_t> reply) {
  return U16(reply, 1);
}

SetVerdict DecodeSetStatus(std::span<const uint8_t> reply) {
  if (reply.size() < 2 || reply[1] > SET_MALFORMED) return {};
  return static_cast<SetStatus>(reply[1]);
}

MaxLoadSetting MakeMaxLoadSetting(uint16_t maxLoadMa) {
  if (maxLoadMa == 0) return {SETTING_KIND_NONE, 0};
  return {SETTING_KIND_U16, maxLoadMa};
}

std::size_t MaxLoadArguments(const MaxLoadSetting& setting,
                             std::span<uint8_t, REQUEST_MAX_ARGUMENTS> out) {
  out[0] = SETTING_MAXLOAD;
  if (setting.kind != SETTING_KIND_U16) {
    // Any other kind announces no value bytes; the kind byte must then be 0 to stay truthful.
    out[1] = static_cast<uint8_t>(SETTING_KIND_NONE);
    return 2;
  }
  out[1] = static_cast<uint8_t>(SETTING_KIND_U16);
  out[2] = LowByte(setting.value);
  out[3] = HighByte(setting.value);
  return 4;
}

uint16_t SetProfileVoltage(const ProfileEntry& entry, uint16_t requestedMv) {
  return IsRangedProfile(entry) ? requestedMv : entry.voltage;
}

bool ProfileTakesVoltage(const ProfileEntry& entry, uint16_t requestedMv, uint8_t versionLevel) {
  if (!IsRangedProfile(entry) || versionLevel < RANGED_DETAILS_MIN_VERSION) return true;
  return requestedMv >= entry.minVoltage && requestedMv <= entry.voltage;
}

std::size_t UsableProfileCount(const ProfileList& list) {
  return list.count < PROFILE_LIST_CAPACITY ? list.count : PROFILE_LIST_CAPACITY;
}

const ProfileEntry* FindProfile(const ProfileList& list, unsigned index) {
  if (index == 0 || index > UsableProfileCount(list)) return nullptr;
  return &list.entries[index - 1];
}

}  // namespace ralvex::link

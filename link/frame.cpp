#include "link/frame.h"

#include <array>

#include "link/commands.h"

namespace ralvex::link {

std::uint8_t FrameChecksum(const std::uint8_t* frame) {
  const std::size_t covered = 2 + static_cast<std::size_t>(frame[1]);
  std::uint8_t c = 0;
  for (std::size_t i = 0; i < covered; ++i) c ^= frame[i];
  return c ^ ETX;
}

std::size_t BuildFrame(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
  const std::size_t n = payload.size();
  if (n == 0 || n > MAX_PAYLOAD || out.size() < n + FRAME_OVERHEAD) return 0;
  out[0] = STX;
  out[1] = static_cast<std::uint8_t>(n);
  for (std::size_t i = 0; i < n; ++i) out[2 + i] = payload[i];
  out[2 + n] = FrameChecksum(out.data());
  out[3 + n] = ETX;
  return n + FRAME_OVERHEAD;
}

namespace {

constexpr std::uint8_t Lo(std::uint16_t v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}
constexpr std::uint8_t Hi(std::uint16_t v) {
  return static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

std::size_t BuildCommandRequest(std::uint8_t command, std::span<std::uint8_t> out) {
  const std::array<std::uint8_t, 1> payload{command};
  return BuildFrame(payload, out);
}

std::size_t BuildValueRequest(std::uint8_t command, std::uint16_t value,
                              std::span<std::uint8_t> out) {
  const std::array<std::uint8_t, 3> payload{command, Lo(value), Hi(value)};
  return BuildFrame(payload, out);
}

std::size_t BuildSetProfileRequest(std::uint8_t profileId, std::uint16_t voltageMv,
                                   std::span<std::uint8_t> out) {
  const std::array<std::uint8_t, 4> payload{CMD_SET_PROFILE, profileId, Lo(voltageMv),
                                            Hi(voltageMv)};
  return BuildFrame(payload, out);
}

std::size_t BuildGetSettingRequest(std::uint8_t settingId, std::span<std::uint8_t> out) {
  const std::array<std::uint8_t, 2> payload{CMD_GET_SETTING, settingId};
  return BuildFrame(payload, out);
}

MaxLoadSetting MakeMaxLoadSetting(std::uint16_t maxLoadMa) {
  if (maxLoadMa == 0) return {SETTING_KIND_NONE, 0};
  return {SETTING_KIND_U16, maxLoadMa};
}

std::size_t BuildSetMaxLoadRequest(const MaxLoadSetting& setting, std::span<std::uint8_t> out) {
  const auto kind = static_cast<std::uint8_t>(setting.kind);
  if (setting.kind == SETTING_KIND_U16) {
    const std::array<std::uint8_t, 5> payload{CMD_SET_SETTING, SETTING_MAXLOAD, kind,
                                              Lo(setting.value), Hi(setting.value)};
    return BuildFrame(payload, out);
  }
  // Any other kind announces no value bytes; the kind byte must then be 0 to stay truthful.
  const std::array<std::uint8_t, 3> payload{CMD_SET_SETTING, SETTING_MAXLOAD,
                                            static_cast<std::uint8_t>(SETTING_KIND_NONE)};
  return BuildFrame(payload, out);
}

}  // namespace ralvex::link

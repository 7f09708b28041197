#pragma once
// Frame layout: STX, N, N payload bytes (command byte first), checksum, ETX. Request building for
// every command lives here, writing into a buffer the caller owns.

#include <cstddef>
#include <cstdint>
#include <span>

namespace ralvex::link {

inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t ETX = 0x03;
inline constexpr std::size_t FRAME_OVERHEAD = 4;  // STX, length, checksum, ETX
inline constexpr std::size_t MAX_PAYLOAD = 255;
inline constexpr std::size_t MAX_FRAME = MAX_PAYLOAD + FRAME_OVERHEAD;
// Longest request the program sends (CMD_SET_SETTING with a value): a buffer this size holds any.
inline constexpr std::size_t MAX_REQUEST_FRAME = 9;

// Checksum over STX, the length byte N and the N payload bytes that `frame` starts with: their XOR,
// then XOR ETX. Reads frame[0 .. 1+N] only.
std::uint8_t FrameChecksum(const std::uint8_t* frame);

// Frames `payload` into `out`. Returns the frame length (N + 4), or 0 when the payload is empty,
// longer than 255 bytes, or the frame does not fit in `out` (nothing is written then).
std::size_t BuildFrame(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

// Request frames. Each returns the frame length, or 0 when `out` is too small.
// CMD_HELLO, CMD_GET_CONNECTION, CMD_GET_PROFILES, CMD_GET_STATS: the command byte alone.
std::size_t BuildCommandRequest(std::uint8_t command, std::span<std::uint8_t> out);
// CMD_SET_DEFVOLT, CMD_SET_DEFLOAD, CMD_SET_LOAD: the command byte and a u16 value.
std::size_t BuildValueRequest(std::uint8_t command, std::uint16_t value,
                              std::span<std::uint8_t> out);
std::size_t BuildSetProfileRequest(std::uint8_t profileId, std::uint16_t voltageMv,
                                   std::span<std::uint8_t> out);
std::size_t BuildGetSettingRequest(std::uint8_t settingId, std::span<std::uint8_t> out);

// What SetMaxLoad stores and sends: kind 0 and no value for 0 mA (the tester's automatic limits),
// kind 2 and the value otherwise.
struct MaxLoadSetting {
  std::int32_t kind;
  std::uint16_t value;
};
MaxLoadSetting MakeMaxLoadSetting(std::uint16_t maxLoadMa);
// CMD_SET_SETTING for SETTING_MAXLOAD: E0 01 kind [lo hi]; the value goes out only for kind 2.
std::size_t BuildSetMaxLoadRequest(const MaxLoadSetting& setting, std::span<std::uint8_t> out);

}  // namespace ralvex::link

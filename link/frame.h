// Frame layout: STX, N, N payload bytes (command byte first), checksum, ETX. Every frame the link
// sends is built here, into a buffer the caller owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ralvex::link {

inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t ETX = 0x03;
inline constexpr std::size_t FRAME_OVERHEAD = 4;  // STX, length, checksum, ETX
inline constexpr std::size_t FRAME_MAX_PAYLOAD = 255;
inline constexpr std::size_t FRAME_MAX_LENGTH = FRAME_MAX_PAYLOAD + FRAME_OVERHEAD;
// The link's transfer buffers: the most one read asks for and the longest frame one write takes.
inline constexpr std::size_t IO_BUFFER_SIZE = 256;
// Longest request the program sends (CMD_SET_SETTING with a value): a buffer this size holds any.
inline constexpr std::size_t FRAME_MAX_REQUEST_LENGTH = 9;

// Checksum over STX, the length byte N and the N payload bytes that `frame` starts with: their XOR,
// then XOR ETX. Reads frame[0 .. 1+N] only.
uint8_t FrameChecksum(const uint8_t* frame);

// Frames `payload` into `out`. Returns the frame length (N + 4), or 0 when the payload is empty,
// longer than 255 bytes, or the frame does not fit in `out` (nothing is written then).
std::size_t BuildFrame(std::span<const uint8_t> payload, std::span<uint8_t> out);

}  // namespace ralvex::link

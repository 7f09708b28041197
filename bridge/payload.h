// Request payloads: the driver's little-endian fields, and byte views of the plain words and
// records that travel as a request's input or reply.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

namespace ralvex::bridge {

inline void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(uint8_t* at, uint32_t value) {
  PutLe16(at, static_cast<uint16_t>(value));
  PutLe16(at + 2, static_cast<uint16_t>(value >> 16));
}

inline uint32_t GetLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// A 32-bit field as the driver reads it.
inline std::array<uint8_t, 4> Le32(uint32_t value) {
  std::array<uint8_t, 4> bytes;
  PutLe32(bytes.data(), value);
  return bytes;
}

// The bytes of one plain object (a caller's word, a record), for a request that reads or
// writes it in place.
template <class T>
requires std::is_trivially_copyable_v<T> std::span<uint8_t> BytesOf(T& object) {
  return {reinterpret_cast<uint8_t*>(&object), sizeof object};
}

}  // namespace ralvex::bridge

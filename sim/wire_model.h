// Time on the wire: a UART frame of 8N1 is ten bit times (start, eight data, stop), so n bytes
// take n * 10 / baud seconds. The device's optional wire model delays bytes by this much; bytes
// towards the host then wait in the chip for their USB packet (sim/usb_packetiser.h).
#pragma once

#include <chrono>
#include <cstdint>

namespace ralvex::sim {

inline constexpr uint32_t BITS_PER_BYTE_ON_WIRE = 10;

// Wire time of `bytes` at `baud` (0 baud counts as the slowest rate the chips take, 183).
std::chrono::nanoseconds WireTime(uint64_t bytes, uint32_t baud);
// How many whole bytes fit into `span` at `baud`.
uint64_t BytesInWireTime(std::chrono::nanoseconds span, uint32_t baud);

}  // namespace ralvex::sim

#include "sim/wire_model.h"

namespace ralvex::sim {
namespace {

constexpr uint32_t SLOWEST_BAUD = 183;

uint64_t EffectiveBaud(uint32_t baud) {
  return baud < SLOWEST_BAUD ? SLOWEST_BAUD : baud;
}

}  // namespace

std::chrono::nanoseconds WireTime(uint64_t bytes, uint32_t baud) {
  // Bytes are bounded by a 32-bit request length: bytes * 10 * 1e9 stays well inside 64 bits
  // for up to about 1.8e9 bytes, so cap there rather than overflow.
  constexpr uint64_t MAX_BYTES = 1'000'000'000ull;
  if (bytes > MAX_BYTES) bytes = MAX_BYTES;
  uint64_t ns = bytes * BITS_PER_BYTE_ON_WIRE * 1'000'000'000ull / EffectiveBaud(baud);
  return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

uint64_t BytesInWireTime(std::chrono::nanoseconds span, uint32_t baud) {
  if (span.count() <= 0) return 0;
  // Long double keeps ns * baud exact enough without a 128-bit product.
  long double bytes =
      static_cast<long double>(span.count()) * EffectiveBaud(baud) / (1e9L * BITS_PER_BYTE_ON_WIRE);
  return bytes >= 1e18L ? 1'000'000'000'000'000'000ull : static_cast<uint64_t>(bytes);
}

}  // namespace ralvex::sim

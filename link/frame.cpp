#include "link/frame.h"

namespace ralvex::link {

uint8_t FrameChecksum(const uint8_t* frame) {
  const std::size_t covered = 2 + static_cast<std::size_t>(frame[1]);
  uint8_t c = 0;
  for (std::size_t i = 0; i < covered; ++i) c ^= frame[i];
  return c ^ ETX;
}

std::size_t BuildFrame(std::span<const uint8_t> payload, std::span<uint8_t> out) {
  const std::size_t n = payload.size();
  if (n == 0 || n > FRAME_MAX_PAYLOAD || out.size() < n + FRAME_OVERHEAD) return 0;
  out[0] = STX;
  out[1] = static_cast<uint8_t>(n);
  for (std::size_t i = 0; i < n; ++i) out[2 + i] = payload[i];
  out[2 + n] = FrameChecksum(out.data());
  out[3 + n] = ETX;
  return n + FRAME_OVERHEAD;
}

}  // namespace ralvex::link

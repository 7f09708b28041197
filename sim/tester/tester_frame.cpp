#include "sim/tester/tester_frame.h"

#include <algorithm>

namespace ralvex::sim {

uint8_t TesterChecksum(const uint8_t* payload, size_t length) {
  uint8_t c = TESTER_STX ^ static_cast<uint8_t>(length);
  for (size_t i = 0; i < length; ++i) c ^= payload[i];
  return c ^ TESTER_ETX;
}

std::vector<uint8_t> BuildTesterFrame(const std::vector<uint8_t>& payload, uint8_t endByte) {
  const size_t n = std::min<size_t>(payload.size(), 255);
  std::vector<uint8_t> frame;
  frame.reserve(n + 4);
  frame.push_back(TESTER_STX);
  frame.push_back(static_cast<uint8_t>(n));
  frame.insert(frame.end(), payload.begin(), payload.begin() + static_cast<ptrdiff_t>(n));
  frame.push_back(TesterChecksum(payload.data(), n));
  frame.push_back(endByte);
  return frame;
}

void TesterFrameReceiver::Push(const uint8_t* data, size_t length, const FrameHandler& onFrame) {
  if (data == nullptr || length == 0) return;
  pending_.insert(pending_.end(), data, data + length);
  size_t start = 0;
  while (true) {
    // Hunt for a start byte.
    while (start < pending_.size() && pending_[start] != TESTER_STX) ++start;
    if (pending_.size() - start < 2) break;
    const size_t n = pending_[start + 1];
    if (n > TESTER_MAX_REQUEST_PAYLOAD) {
      ++start;
      continue;
    }
    if (pending_.size() - start < n + 4) break;
    const uint8_t* payload = pending_.data() + start + 2;
    if (payload[n] == TesterChecksum(payload, n) && payload[n + 1] == TESTER_ETX) {
      onFrame(payload, n);
      start += n + 4;
    } else {
      ++start;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(start));
}

}  // namespace ralvex::sim

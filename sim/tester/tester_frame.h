// The tester's end of the serial framing: 02, length, payload, checksum, 03.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ralvex::sim {

inline constexpr uint8_t TESTER_STX = 0x02;
inline constexpr uint8_t TESTER_ETX = 0x03;
// The firmware's receive buffer: no request comes near it, so a longer frame is noise.
inline constexpr size_t TESTER_MAX_REQUEST_PAYLOAD = 64;

// XOR of start byte, length and payload, then XOR 0x03: the XOR of the whole frame but the
// checksum itself, end byte included.
uint8_t TesterChecksum(const uint8_t* payload, size_t length);

// A complete frame around `payload` (at most 255 bytes), ending with `endByte`.
std::vector<uint8_t> BuildTesterFrame(const std::vector<uint8_t>& payload,
                                      uint8_t endByte = TESTER_ETX);

// Collects request frames from the byte stream, however it is split. Frames with a wrong checksum,
// a wrong end byte or an oversized length are dropped, and the search for a start byte resumes
// right after the dropped start byte, so a real frame hidden behind noise is still found.
class TesterFrameReceiver {
 public:
  using FrameHandler = std::function<void(const uint8_t* payload, size_t length)>;

  void Push(const uint8_t* data, size_t length, const FrameHandler& onFrame);
  void Reset() { pending_.clear(); }
  size_t pending() const { return pending_.size(); }

 private:
  std::vector<uint8_t> pending_;
};

}  // namespace ralvex::sim

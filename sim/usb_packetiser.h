// The bridge chip's way towards the host: bytes from the line land in the chip's buffer and leave
// it in USB packets. A packet goes at once when a packet's worth of data is waiting or when the
// event character (if enabled) has landed, and otherwise when the latency timer runs out with data
// waiting. The timer starts when a byte lands in the empty buffer; every packet, whatever sent
// it, empties the buffer. The class only keeps the rules: time is what the caller says.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace ralvex::sim {

// Every packet towards the host starts with two modem-status bytes; the rest is data.
inline constexpr size_t USB_PACKET_STATUS_BYTES = 2;
inline constexpr size_t FULL_SPEED_PACKET_BYTES = 64;
inline constexpr size_t HIGH_SPEED_PACKET_BYTES = 512;

class UsbPacketiser {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // `packetBytes`: the chip's packet size (64, or 512 at high speed), status bytes included.
  explicit UsbPacketiser(size_t packetBytes = FULL_SPEED_PACKET_BYTES);

  // Settings apply from the next byte that lands; a timer already running keeps its expiry.
  void SetLatency(uint8_t milliseconds) { latency_ = std::chrono::milliseconds(milliseconds); }
  void SetEventChar(uint8_t eventChar, bool enabled);
  uint8_t EventChar() const { return eventChar_; }
  bool EventCharEnabled() const { return eventCharEnabled_; }

  // A byte lands in the chip at `at`, never earlier than the byte before it. A latency timer that
  // runs out by then sends its packet first.
  void Land(TimePoint at, uint8_t byte);
  // Appends the data of every packet sent by `now` to `out`, in order, and forgets them.
  void TakeSent(TimePoint now, std::vector<uint8_t>* out);
  // When the next packet goes: the earliest one sent but not taken, or else the running latency
  // timer's expiry; none while the chip holds nothing.
  std::optional<TimePoint> NextSend() const;
  // Drops the waiting bytes and the packets not taken, as a purge of the receive side does.
  void Clear();

 private:
  struct Packet {
    TimePoint sent;
    std::vector<uint8_t> data;
  };

  void ExpireTimer(TimePoint now);
  void Send(TimePoint at);

  const size_t packetData_;
  std::chrono::milliseconds latency_{16};
  uint8_t eventChar_ = 0;
  bool eventCharEnabled_ = false;
  std::vector<uint8_t> waiting_;
  TimePoint timerExpiry_{};  // meaningful while bytes are waiting
  std::deque<Packet> sent_;
};

}  // namespace ralvex::sim

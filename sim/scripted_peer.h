// A peer driven from test code: it records what the host writes, answers through a handler or
// from a queue of canned answers, and lets the test send bytes to the host at any moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "sim/peer.h"

namespace ralvex::sim {

class ScriptedPeer final : public SerialPeer {
 public:
  // Called with each chunk the host writes, on the writer's thread. `line` is the device's.
  using Handler = std::function<void(const uint8_t* data, size_t length, SerialLine& line)>;

  ScriptedPeer() = default;
  explicit ScriptedPeer(Handler handler) : handler_(std::move(handler)) {}

  void Attach(SerialLine* line) override;
  void Detach() override;
  void OnHostBytes(const uint8_t* data, size_t length) override;
  void OnOpen() override;
  void OnClose() override;

  // With no handler, each chunk the host writes is answered by the next queued answer (if any),
  // sent after its delay.
  void SetHandler(Handler handler);
  void QueueAnswer(std::vector<uint8_t> bytes, uint32_t delayMs = 0);

  // Sends to the host now or later; false while not wired to a device.
  bool Send(const std::vector<uint8_t>& bytes);
  bool SendAfter(uint32_t delayMs, const std::vector<uint8_t>& bytes);

  // Everything the host wrote, in order.
  std::vector<uint8_t> Received() const;
  void ClearReceived();

  bool Attached() const;
  uint32_t OpenCount() const;
  uint32_t CloseCount() const;

 private:
  struct Answer {
    std::vector<uint8_t> bytes;
    uint32_t delayMs = 0;
  };

  mutable std::mutex mutex_;
  SerialLine* line_ = nullptr;
  Handler handler_;
  std::deque<Answer> answers_;
  std::vector<uint8_t> received_;
  uint32_t opens_ = 0;
  uint32_t closes_ = 0;
};

}  // namespace ralvex::sim

// The serial side of a simulated bridge device: what sits at the far end of its UART.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ralvex::sim {

// How a peer talks back: bytes it sends land in the device's receive queue, where the host's
// reads find them.
class SerialLine {
 public:
  virtual void SendToHost(const uint8_t* data, size_t length) = 0;
  // The same after `delayMs` milliseconds (a peer that takes time to answer). Bytes scheduled
  // this way keep their order relative to each other.
  virtual void SendToHostAfter(uint32_t delayMs, const uint8_t* data, size_t length) = 0;

 protected:
  ~SerialLine() = default;
};

// A peer: a loopback plug, a silent sink, an emulated tester, a scripted test double.
class SerialPeer {
 public:
  virtual ~SerialPeer() = default;

  // Wired to a device; `line` outlives the peer's use of it (until Detach).
  virtual void Attach(SerialLine* line) = 0;
  virtual void Detach() = 0;
  // Bytes the host wrote, in order, on the writer's thread. The peer must not block long.
  virtual void OnHostBytes(const uint8_t* data, size_t length) = 0;
  // The host opened or closed the device.
  virtual void OnOpen() {}
  virtual void OnClose() {}
};

}  // namespace ralvex::sim

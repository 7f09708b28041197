// A peer that takes every byte and never answers (a tester that hangs, an unconnected cable).
#pragma once

#include <atomic>
#include <cstdint>

#include "sim/peer.h"

namespace ralvex::sim {

class SilentPeer final : public SerialPeer {
 public:
  void Attach(SerialLine*) override {}
  void Detach() override {}
  void OnHostBytes(const uint8_t*, size_t length) override { received_ += length; }

  // Bytes swallowed so far.
  uint64_t BytesReceived() const { return received_; }

 private:
  std::atomic<uint64_t> received_{0};
};

}  // namespace ralvex::sim

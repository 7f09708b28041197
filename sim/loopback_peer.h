// A loopback plug on the serial side: every byte the host writes comes straight back.
#pragma once

#include <atomic>
#include <cstdint>

#include "sim/peer.h"

namespace ralvex::sim {

class LoopbackPeer final : public SerialPeer {
 public:
  void Attach(SerialLine* line) override;
  void Detach() override;
  void OnHostBytes(const uint8_t* data, size_t length) override;

 private:
  std::atomic<SerialLine*> line_{nullptr};
};

}  // namespace ralvex::sim

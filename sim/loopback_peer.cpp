#include "sim/loopback_peer.h"

namespace ralvex::sim {

void LoopbackPeer::Attach(SerialLine* line) {
  line_ = line;
}
void LoopbackPeer::Detach() {
  line_ = nullptr;
}

void LoopbackPeer::OnHostBytes(const uint8_t* data, size_t length) {
  SerialLine* line = line_;
  if (line != nullptr) line->SendToHost(data, length);
}

}  // namespace ralvex::sim

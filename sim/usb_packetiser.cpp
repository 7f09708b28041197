#include "sim/usb_packetiser.h"

#include <algorithm>
#include <utility>

namespace ralvex::sim {

UsbPacketiser::UsbPacketiser(size_t packetBytes)
    : packetData_(std::max(packetBytes, USB_PACKET_STATUS_BYTES + 1) - USB_PACKET_STATUS_BYTES) {}

void UsbPacketiser::SetEventChar(uint8_t eventChar, bool enabled) {
  eventChar_ = eventChar;
  eventCharEnabled_ = enabled;
}

void UsbPacketiser::Land(TimePoint at, uint8_t byte) {
  ExpireTimer(at);
  if (waiting_.empty()) timerExpiry_ = at + latency_;
  waiting_.push_back(byte);
  if (waiting_.size() >= packetData_ || (eventCharEnabled_ && byte == eventChar_)) Send(at);
}

void UsbPacketiser::TakeSent(TimePoint now, std::vector<uint8_t>* out) {
  ExpireTimer(now);
  while (!sent_.empty() && sent_.front().sent <= now) {
    out->insert(out->end(), sent_.front().data.begin(), sent_.front().data.end());
    sent_.pop_front();
  }
}

std::optional<UsbPacketiser::TimePoint> UsbPacketiser::NextSend() const {
  if (!sent_.empty()) return sent_.front().sent;
  if (!waiting_.empty()) return timerExpiry_;
  return std::nullopt;
}

void UsbPacketiser::Clear() {
  waiting_.clear();
  sent_.clear();
}

void UsbPacketiser::ExpireTimer(TimePoint now) {
  // Every waiting byte landed before the expiry: Land sends the packet before a later byte.
  if (!waiting_.empty() && timerExpiry_ <= now) Send(timerExpiry_);
}

void UsbPacketiser::Send(TimePoint at) {
  sent_.push_back({at, std::move(waiting_)});
  waiting_.clear();
}

}  // namespace ralvex::sim

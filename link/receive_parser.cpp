#include "link/receive_parser.h"

#include <algorithm>
#include <cstring>

#include "link/commands.h"
#include "link/frame.h"

namespace ralvex::link {

ParseResult ReceiveParser::Feed(std::span<const uint8_t> delivery) {
  if (delivery.empty()) {
    // The read timed out with nothing: whatever comes next closes the frame in progress.
    payloadLength_ = 0;
    remaining_ = 1;
  }

  ParseResult result;
  uint32_t next = 1;
  bool complete = false;
  std::size_t i = 0;
  while (i < delivery.size() && !complete) complete = TakeByte(delivery[i++], &next);
  result.consumed = i;
  result.readLength = std::min(next, static_cast<uint32_t>(IO_BUFFER_SIZE));

  if (complete) {
    const uint8_t* payload = frame_ + 2;
    const int code = NotificationCode(payload[0]);
    if (code != 0) {
      result.notification = code;
    } else {
      std::memcpy(reply_, payload, payloadLength_);
      replyLength_ = payloadLength_;
      result.replyReady = true;
    }
  }
  return result;
}

bool ReceiveParser::TakeByte(uint8_t b, uint32_t* next) {
  *next = 1;
  if (position_ == 0) {
    if (b == STX) {
      frame_[0] = b;
      position_ = 1;
    } else {
      payloadLength_ = 0;
    }
    remaining_ = 1;
    return false;
  }
  if (position_ == 1) {
    frame_[1] = b;
    position_ = 2;
    payloadLength_ = b;
    remaining_ = static_cast<uint16_t>(b + 2);
    *next = remaining_;
    return false;
  }
  --remaining_;
  // position_ never passes 2 + 255 + 1: remaining_ starts at most at 257 and only falls.
  frame_[position_++] = b;
  if (remaining_ > 0) {
    *next = remaining_;
    return false;
  }
  position_ = 0;
  remaining_ = 1;
  if (b == ETX && payloadLength_ > 0) return true;
  // Wrong end byte, or no command byte to dispatch on (empty payload, or a body cut short by an
  // empty read): drop it rather than act on an earlier frame's bytes.
  payloadLength_ = 0;
  return false;
}

void ReceiveParser::Reset() {
  std::memset(frame_, 0, sizeof frame_);
  std::memset(reply_, 0, sizeof reply_);
  position_ = 0;
  remaining_ = 1;
  payloadLength_ = 0;
  replyLength_ = 0;
}

}  // namespace ralvex::link

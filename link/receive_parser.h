// Receive parser for the tester's frames. The link's I/O thread owns one and calls Feed after each
// completed read; the result says how long the next read must be and whether a reply frame or a
// notification arrived. Signalling events is left to the caller. Fixed buffers, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/frame.h"

namespace ralvex::link {

inline constexpr std::size_t PARSER_FRAME_BUFFER_SIZE = 4096;
inline constexpr std::size_t PARSER_REPLY_BUFFER_SIZE = 4096;

struct ParseResult {
  std::size_t consumed = 0;  // bytes of the delivery taken (all of it unless a frame ended early)
  uint32_t readLength = 1;   // bytes the next read asks for, 1..IO_BUFFER_SIZE
  bool replyReady = false;   // a complete reply frame's payload is in Reply()
  int notification = 0;      // 1..4 when a notification frame completed, else 0
};

class ReceiveParser {
 public:
  ReceiveParser() = default;

  // Length of the first read once the I/O thread has started.
  static constexpr uint32_t StartReadLength() { return 1; }

  // Runs the parser over one delivery. An empty delivery is a read that timed out: the frame in
  // progress loses its remaining count, so the next byte is taken as its last one. Processing stops
  // after the byte that completes a frame; with reads sized by readLength that is always the last
  // byte delivered, so `consumed` only falls short for callers that deliver more than was asked.
  // A frame whose last byte is not ETX, or whose payload is empty, is discarded.
  //
  // The checksum byte is stored and never compared, so a frame with a wrong checksum is taken.
  // A frame is told by its start byte, length and end byte, and a reply by the command byte it
  // repeats (ReplyRepeats); a tester whose checksum does not match FrameChecksum is still heard
  // rather than every answer of it ending in a timed-out exchange.
  ParseResult Feed(std::span<const uint8_t> delivery);

  // Payload of the last complete reply frame (command byte first). Notification frames are not
  // copied here, so one arriving while a reply is being read cannot overwrite it.
  std::span<const uint8_t> Reply() const { return {reply_, replyLength_}; }

  // Back to the state at construction, reply included.
  void Reset();

  // True between frames, while looking for a start byte: no frame is in progress.
  bool Hunting() const { return position_ == 0; }

 private:
  // One byte of the stream; sets the next read length and returns true when it completed a frame.
  bool TakeByte(uint8_t b, uint32_t* next);

  uint8_t frame_[PARSER_FRAME_BUFFER_SIZE] = {};
  uint16_t position_ = 0;
  uint16_t remaining_ = 1;
  uint16_t payloadLength_ = 0;
  uint16_t replyLength_ = 0;
  uint8_t reply_[PARSER_REPLY_BUFFER_SIZE] = {};
};

}  // namespace ralvex::link

// The link's receive parser fed arbitrary deliveries. The input is a sequence of deliveries, each
// one length byte (0: a read that timed out with nothing) and that many bytes (fewer at the end of
// the input). Every delivery is parsed the way the I/O thread does it, until all of it is taken,
// and the parser's promises are checked on each result.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/frame.h"
#include "link/receive_parser.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ralvex::link;
  static ReceiveParser parser;
  parser.Reset();
  std::span<const uint8_t> input(data, size);
  while (!input.empty()) {
    const std::size_t length = std::min<std::size_t>(input[0], input.size() - 1);
    std::span<const uint8_t> delivery = input.subspan(1, length);
    input = input.subspan(1 + length);
    do {
      const ParseResult result = parser.Feed(delivery);
      Check(result.consumed <= delivery.size());
      Check(result.readLength >= 1 && result.readLength <= IO_BUFFER_SIZE);
      Check(result.notification >= 0 && result.notification <= 4);
      Check(!(result.replyReady && result.notification != 0));
      // Only a completed frame stops the parser short of the delivery's end.
      Check(result.consumed == delivery.size() || result.replyReady || result.notification != 0);
      if (result.replyReady) {
        Check(!parser.Reply().empty() && parser.Reply().size() <= FRAME_MAX_PAYLOAD);
      }
      delivery = delivery.subspan(result.consumed);
      if (result.consumed == 0) break;
    } while (!delivery.empty());
  }
  return 0;
}

#include "link/frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace ralvex::link {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(FrameChecksum, EmptyPayloadAndWholeFrameXor) {
  const uint8_t empty[] = {STX, 0};
  EXPECT_EQ(FrameChecksum(empty), 0x01);

  // The checksum makes the XOR of the whole frame, end byte included, zero.
  std::array<uint8_t, FRAME_MAX_LENGTH> frame{};
  std::vector<uint8_t> payload(FRAME_MAX_PAYLOAD);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(BuildFrame(payload, frame), FRAME_MAX_LENGTH);
  uint8_t all = 0;
  for (uint8_t b : frame) all ^= b;
  EXPECT_EQ(all, 0);
}

TEST(FrameChecksum, ReadsOnlyTheBytesTheLengthCovers) {
  // Bytes past 1+N must not influence the result.
  uint8_t a[] = {STX, 1, 0x0C, 0xAA, 0xBB};
  uint8_t b[] = {STX, 1, 0x0C, 0x55, 0x66};
  EXPECT_EQ(FrameChecksum(a), 0x0C);
  EXPECT_EQ(FrameChecksum(b), 0x0C);
}

TEST(BuildFrame, RefusesWhatCannotBeFramed) {
  std::array<uint8_t, 8> small{};
  small.fill(0xEE);
  const uint8_t five[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(BuildFrame(five, small), 0u);  // needs 9
  EXPECT_EQ(small[0], 0xEE);               // nothing written
  EXPECT_EQ(BuildFrame({}, small), 0u);    // no command byte
  std::vector<uint8_t> tooLong(FRAME_MAX_PAYLOAD + 1, 0x11);
  std::array<uint8_t, 512> big{};
  EXPECT_EQ(BuildFrame(tooLong, big), 0u);
}

}  // namespace
}  // namespace ralvex::link

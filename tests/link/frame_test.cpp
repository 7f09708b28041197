#include "link/frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "link/commands.h"

namespace ralvex::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAreArray;

template <typename Build>
Bytes Built(Build build) {
  std::array<std::uint8_t, MAX_REQUEST_FRAME> out{};
  const std::size_t n = build(std::span<std::uint8_t>(out));
  return Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(FrameChecksum, EmptyPayloadAndWholeFrameXor) {
  const std::uint8_t empty[] = {STX, 0};
  EXPECT_EQ(FrameChecksum(empty), 0x01);

  // The checksum makes the XOR of the whole frame, end byte included, zero.
  std::array<std::uint8_t, MAX_FRAME> frame{};
  std::vector<std::uint8_t> payload(MAX_PAYLOAD);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(BuildFrame(payload, frame), MAX_FRAME);
  std::uint8_t all = 0;
  for (std::uint8_t b : frame) all ^= b;
  EXPECT_EQ(all, 0);
}

TEST(FrameChecksum, ReadsOnlyTheBytesTheLengthCovers) {
  // Bytes past 1+N must not influence the result.
  std::uint8_t a[] = {STX, 1, 0x0C, 0xAA, 0xBB};
  std::uint8_t b[] = {STX, 1, 0x0C, 0x55, 0x66};
  EXPECT_EQ(FrameChecksum(a), 0x0C);
  EXPECT_EQ(FrameChecksum(b), 0x0C);
}

TEST(BuildFrame, RefusesWhatCannotBeFramed) {
  std::array<std::uint8_t, 8> small{};
  small.fill(0xEE);
  const std::uint8_t five[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(BuildFrame(five, small), 0u);  // needs 9
  EXPECT_EQ(small[0], 0xEE);               // nothing written
  EXPECT_EQ(BuildFrame({}, small), 0u);    // no command byte
  std::vector<std::uint8_t> tooLong(MAX_PAYLOAD + 1, 0x11);
  std::array<std::uint8_t, 512> big{};
  EXPECT_EQ(BuildFrame(tooLong, big), 0u);
}

TEST(RequestFrames, EveryCommandAsTheTesterExpectsIt) {
  auto cmd = [](std::uint8_t c) {
    return Built([c](std::span<std::uint8_t> o) { return BuildCommandRequest(c, o); });
  };
  EXPECT_THAT(cmd(CMD_HELLO), ElementsAreArray({0x02, 0x01, 0x01, 0x01, 0x03}));
  EXPECT_THAT(cmd(CMD_GET_CONNECTION), ElementsAreArray({0x02, 0x01, 0x0A, 0x0A, 0x03}));
  EXPECT_THAT(cmd(CMD_GET_PROFILES), ElementsAreArray({0x02, 0x01, 0x0B, 0x0B, 0x03}));
  EXPECT_THAT(cmd(CMD_GET_STATS), ElementsAreArray({0x02, 0x01, 0x0C, 0x0C, 0x03}));

  auto setting = [](std::uint8_t id) {
    return Built([id](std::span<std::uint8_t> o) { return BuildGetSettingRequest(id, o); });
  };
  EXPECT_THAT(setting(0), ElementsAreArray({0x02, 0x02, 0xE1, 0x00, 0xE2, 0x03}));
  EXPECT_THAT(setting(2), ElementsAreArray({0x02, 0x02, 0xE1, 0x02, 0xE0, 0x03}));
  EXPECT_THAT(setting(3), ElementsAreArray({0x02, 0x02, 0xE1, 0x03, 0xE1, 0x03}));
  EXPECT_THAT(setting(4), ElementsAreArray({0x02, 0x02, 0xE1, 0x04, 0xE6, 0x03}));

  EXPECT_THAT(Built([](auto o) { return BuildValueRequest(CMD_SET_LOAD, 5000, o); }),
              ElementsAreArray({0x02, 0x03, 0x10, 0x88, 0x13, 0x89, 0x03}));
  EXPECT_THAT(Built([](auto o) { return BuildValueRequest(CMD_SET_DEFVOLT, 0x1234, o); }),
              ElementsAreArray({0x02, 0x03, 0x0E, 0x34, 0x12, 0x2A, 0x03}));
  EXPECT_THAT(Built([](auto o) { return BuildSetProfileRequest(1, 5000, o); }),
              ElementsAreArray({0x02, 0x04, 0x0D, 0x01, 0x88, 0x13, 0x92, 0x03}));
}

TEST(RequestFrames, MaxLoadBothForms) {
  const MaxLoadSetting automatic = MakeMaxLoadSetting(0);
  EXPECT_EQ(automatic.kind, SETTING_KIND_NONE);
  EXPECT_THAT(Built([&](auto o) { return BuildSetMaxLoadRequest(automatic, o); }),
              ElementsAreArray({0x02, 0x03, 0xE0, 0x01, 0x00, 0xE3, 0x03}));

  const MaxLoadSetting limit = MakeMaxLoadSetting(1000);
  EXPECT_EQ(limit.kind, SETTING_KIND_U16);
  EXPECT_EQ(limit.value, 1000);
  EXPECT_THAT(Built([&](auto o) { return BuildSetMaxLoadRequest(limit, o); }),
              ElementsAreArray({0x02, 0x05, 0xE0, 0x01, 0x02, 0xE8, 0x03, 0x0C, 0x03}));
}

TEST(RequestFrames, TooSmallBufferGivesZero) {
  std::array<std::uint8_t, 8> out{};
  EXPECT_EQ(BuildSetMaxLoadRequest(MakeMaxLoadSetting(1), out), 0u);
  EXPECT_EQ(BuildSetProfileRequest(1, 5000, std::span<std::uint8_t>(out).first(7)), 0u);
  EXPECT_EQ(BuildCommandRequest(CMD_HELLO, std::span<std::uint8_t>(out).first(4)), 0u);
}

}  // namespace
}  // namespace ralvex::link

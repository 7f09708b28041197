// The chip's packets towards the host, on their own with a made-up clock: when each packet goes
// and which bytes it carries.
#include "sim/usb_packetiser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ralvex::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::microseconds;

const UsbPacketiser::TimePoint T0{};

UsbPacketiser::TimePoint At(int64_t us) {
  return T0 + microseconds(us);
}

// `bytes` land one every `spacingUs`, the first at `firstUs`.
struct Chunk {
  int64_t firstUs;
  Bytes bytes;
  int64_t spacingUs = 100;
};

struct Packet {
  int64_t sentUs;
  Bytes data;
  bool operator==(const Packet&) const = default;
};

void PrintTo(const Packet& p, std::ostream* os) {
  *os << "{" << p.sentUs << " us, " << ::testing::PrintToString(p.data) << "}";
}

// Bytes 0x10, 0x11, ...: none is the frame end byte, and the first 240 are all different.
Bytes Counting(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(0x10 + i % 0xF0);
  return bytes;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

const Bytes SEVENTY = Counting(70);
const Bytes SIX_HUNDRED = Counting(600);
// A reply frame with the frame end byte 0x03 inside its payload.
const Bytes FRAME = {0x02, 0x02, 0x0E, 0x03, 0x0F, 0x03};

struct Case {
  const char* name;
  uint8_t latencyMs;
  int eventChar;  // -1: disabled
  std::vector<Chunk> chunks;
  std::vector<Packet> packets;
  size_t packetBytes = FULL_SPEED_PACKET_BYTES;
};

const Case CASES[] = {
    {"62 waiting data bytes go at once, the rest after the timer",
     16,
     -1,
     {{100, SEVENTY}},
     {{6200, Slice(SEVENTY, 0, 62)}, {6300 + 16000, Slice(SEVENTY, 62, 70)}}},
    {"the event char sends what is waiting, itself included",
     16,
     0x03,
     {{100, {0x02, 0x05, 0x03, 0x11, 0x22}}},
     {{300, {0x02, 0x05, 0x03}}, {400 + 16000, {0x11, 0x22}}}},
    {"a frame end byte inside the payload and at the end: two packets",
     16,
     0x03,
     {{100, FRAME}},
     {{400, Slice(FRAME, 0, 4)}, {600, Slice(FRAME, 4, 6)}}},
    {"with the event char disabled the byte is data like any other",
     16,
     -1,
     {{100, FRAME}},
     {{100 + 16000, FRAME}}},
    {"another event char leaves the frame end byte alone",
     1,
     0x7E,
     {{100, FRAME}},
     {{1100, FRAME}}},
    {"the timer runs from the first byte into the empty buffer",
     1,
     -1,
     {{100, {1, 2, 3}}},
     {{1100, {1, 2, 3}}}},
    {"bytes landing while the timer runs join its packet and do not restart it",
     1,
     -1,
     {{100, {1}}, {600, {2}}, {1050, {3}}, {1200, {4}}},
     {{1100, {1, 2, 3}}, {2200, {4}}}},
    {"a byte landing as the timer runs out goes in the next packet",
     1,
     -1,
     {{100, {1}}, {1100, {2}}},
     {{1100, {1}}, {2100, {2}}}},
    {"a packet sent by the event char clears the timer with the buffer",
     1,
     0x03,
     {{100, {1, 0x03}}, {900, {2}}},
     {{200, {1, 0x03}}, {1900, {2}}}},
    {"zero latency: every byte leaves as it lands",
     0,
     -1,
     {{100, {1, 2, 3}}},
     {{100, {1}}, {200, {2}}, {300, {3}}}},
    {"an event char that fills the packet sends one packet",
     16,
     SEVENTY[61],
     {{100, Slice(SEVENTY, 0, 62)}},
     {{6200, Slice(SEVENTY, 0, 62)}}},
    {"a high-speed chip packs 510 data bytes",
     16,
     -1,
     {{10, SIX_HUNDRED, 10}},
     {{5100, Slice(SIX_HUNDRED, 0, 510)}, {5110 + 16000, Slice(SIX_HUNDRED, 510, 600)}},
     HIGH_SPEED_PACKET_BYTES},
};

// Lands every chunk, then takes the packets one send time after the other.
std::vector<Packet> PacketsOf(const Case& c) {
  UsbPacketiser packetiser(c.packetBytes);
  packetiser.SetLatency(c.latencyMs);
  packetiser.SetEventChar(static_cast<uint8_t>(c.eventChar), c.eventChar >= 0);
  for (const Chunk& chunk : c.chunks) {
    for (size_t i = 0; i < chunk.bytes.size(); ++i) {
      packetiser.Land(At(chunk.firstUs + static_cast<int64_t>(i) * chunk.spacingUs),
                      chunk.bytes[i]);
    }
  }
  std::vector<Packet> packets;
  while (const auto next = packetiser.NextSend()) {
    Packet packet{std::chrono::duration_cast<microseconds>(*next - T0).count(), {}};
    packetiser.TakeSent(*next, &packet.data);
    if (packet.data.empty()) break;  // a send time that sends nothing would loop for ever
    packets.push_back(packet);
  }
  return packets;
}

TEST(UsbPacketiser, PacketsGoWhenFullAtTheEventCharOrWhenTheTimerRunsOut) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PacketsOf(c), c.packets);
  }
}

TEST(UsbPacketiser, TakesOnlyWhatWasSentByThen) {
  UsbPacketiser packetiser;
  packetiser.SetLatency(2);
  EXPECT_EQ(packetiser.NextSend(), std::nullopt);
  packetiser.Land(At(100), 0xAA);
  packetiser.Land(At(200), 0xBB);
  Bytes taken;
  packetiser.TakeSent(At(2099), &taken);
  EXPECT_TRUE(taken.empty());
  EXPECT_EQ(packetiser.NextSend(), At(2100));
  packetiser.TakeSent(At(5000), &taken);
  EXPECT_EQ(taken, (Bytes{0xAA, 0xBB}));
  EXPECT_EQ(packetiser.NextSend(), std::nullopt);

  // A purge drops waiting bytes and packets not yet taken alike.
  packetiser.SetEventChar(0xBB, true);
  packetiser.Land(At(6000), 0xBB);
  packetiser.Land(At(6100), 0xCC);
  packetiser.Clear();
  EXPECT_EQ(packetiser.NextSend(), std::nullopt);
  taken.clear();
  packetiser.TakeSent(At(100000), &taken);
  EXPECT_TRUE(taken.empty());
}

}  // namespace
}  // namespace ralvex::sim

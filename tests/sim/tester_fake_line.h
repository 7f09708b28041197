// Test double for the device side of an emulated tester's serial line, and a small frame codec of
// the tests' own to talk to it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "sim/peer.h"
#include "sim/tester/tester_peer.h"

namespace ralvex::sim::testing {

using Bytes = std::vector<uint8_t>;

class FakeLine final : public SerialLine {
 public:
  struct Chunk {
    uint32_t delayMs;
    Bytes bytes;
  };

  void SendToHost(const uint8_t* data, size_t length) override {
    chunks.push_back({0, Bytes(data, data + length)});
  }
  void SendToHostAfter(uint32_t delayMs, const uint8_t* data, size_t length) override {
    chunks.push_back({delayMs, Bytes(data, data + length)});
  }

  // Everything sent since the last Take, in order.
  Bytes Take() {
    Bytes all;
    for (const Chunk& c : chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    chunks.clear();
    return all;
  }

  std::vector<Chunk> chunks;
};

inline Bytes Frame(const Bytes& payload) {
  // Sized once and filled in place: a range insert into a two-byte vector trips GCC's
  // array-bounds analysis at -O3.
  Bytes f(payload.size() + 2);
  f[0] = 0x02;
  f[1] = static_cast<uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), f.begin() + 2);
  uint8_t x = 0;
  for (uint8_t b : f) x ^= b;
  f.push_back(static_cast<uint8_t>(x ^ 0x03));
  f.push_back(0x03);
  return f;
}

struct DecodedFrame {
  Bytes payload;
  bool checksumOk = false;
  uint8_t end = 0;
};

// Splits a byte stream into frames; bytes before a start byte are counted in *noise.
inline std::vector<DecodedFrame> Decode(const Bytes& stream, size_t* noise = nullptr) {
  std::vector<DecodedFrame> frames;
  size_t i = 0, skipped = 0;
  while (i < stream.size()) {
    if (stream[i] != 0x02) {
      ++i;
      ++skipped;
      continue;
    }
    if (i + 1 >= stream.size()) break;
    const size_t n = stream[i + 1];
    if (i + n + 4 > stream.size()) break;
    DecodedFrame f;
    f.payload.assign(stream.begin() + static_cast<ptrdiff_t>(i + 2),
                     stream.begin() + static_cast<ptrdiff_t>(i + 2 + n));
    uint8_t x = 0;
    for (size_t k = i; k < i + 2 + n; ++k) x ^= stream[k];
    f.checksumOk = stream[i + 2 + n] == static_cast<uint8_t>(x ^ 0x03);
    f.end = stream[i + 3 + n];
    frames.push_back(f);
    i += n + 4;
  }
  if (noise != nullptr) *noise = skipped;
  return frames;
}

// One emulated tester wired to a fake line, built from bench text (keys at the top level).
class TesterBench {
 public:
  explicit TesterBench(const std::string& benchText = "", const std::string& statePath = "",
                       const std::string& serial = "KORA0001",
                       std::shared_ptr<TesterClock> testerClock = nullptr)
      : clock(std::move(testerClock)) {
    Rebuild(benchText, statePath, serial);
  }

  // A new tester, as the next run of the program meets it.
  void Rebuild(const std::string& benchText, const std::string& statePath,
               const std::string& serial = "KORA0001") {
    if (peer) peer->Detach();
    std::string error;
    if (benchText.empty()) {
      peer = MakeTesterPeer(nullptr, serial, statePath, &error, nullptr, clock);
    } else {
      toml::table table = toml::parse(benchText);
      peer = MakeTesterPeer(&table, serial, statePath, &error, nullptr, clock);
    }
    ASSERT_NE(peer, nullptr) << error;
    line.chunks.clear();
    peer->Attach(&line);
    peer->OnOpen();
  }

  ~TesterBench() {
    if (peer) peer->Detach();
  }

  // Sends one request frame and returns every byte the tester sent back.
  Bytes Raw(const Bytes& request) {
    peer->OnHostBytes(request.data(), request.size());
    return line.Take();
  }

  // Sends one request and returns the payload of the single reply frame (empty when none came).
  Bytes Ask(const Bytes& payload) {
    const auto frames = Decode(Raw(Frame(payload)));
    if (frames.empty()) return {};
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames.back().checksumOk);
    EXPECT_EQ(frames.back().end, 0x03);
    return frames.back().payload;
  }

  std::shared_ptr<TesterClock> clock;  // null: the system's
  FakeLine line;
  std::unique_ptr<SerialPeer> peer;
};

// A clock the test moves by hand: both the monotonic and the wall clock advance together.
class FakeTesterClock final : public TesterClock {
 public:
  uint64_t MonotonicMs() const override { return monotonic; }
  int64_t WallMs() const override { return wall; }
  void Advance(uint64_t ms) {
    monotonic += ms;
    wall += static_cast<int64_t>(ms);
  }
  uint64_t monotonic = 1000;
  int64_t wall = 1'700'000'000'000;
};

inline uint16_t U16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

}  // namespace ralvex::sim::testing

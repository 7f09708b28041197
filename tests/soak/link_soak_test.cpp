// Link soak: ten thousand exchanges with the emulated tester while noise, slow and late replies,
// dropped replies, wrong replies and broken frames are mixed in. A failing exchange must end
// within the link's waits, the exchange after it must succeed, and no healthy exchange may fail.
//
// The tester drops, garbles and breaks replies of its own (its fault keys, chosen per exchange by
// the command sent: profiles unanswered, connection answered wrongly, set-profile with a bad end
// byte). Noise and delays are switched per exchange by a relay between the tester and the bridge
// device's serial line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <toml++/toml.h>

#include "link/tester_link.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/tester/tester_peer.h"
#include "soak_support.h"

namespace ralvex::soak {
namespace {

constexpr const char* SOAK_TESTER_SERIAL = "KORASOAK01";
constexpr const char* SOAK_TESTER_FAULTS =
    "unanswered = [0x0B]\n"
    "wrong_reply = [0x0A]\n"
    "bad_end_byte = [0x0D]\n";

// A failing exchange waits at most for the write and for the reply; the margin covers a loaded
// machine and sanitizer builds. A correctness bound, not a performance figure.
constexpr double FAILING_EXCHANGE_BOUND_MS = 2.0 * link::LINK_EXCHANGE_WAIT_MS + 750.0;
// Slow replies that must still be taken, and late ones that must not.
constexpr uint32_t SLOW_REPLY_MAX_MS = 20;
constexpr uint32_t LATE_REPLY_MIN_MS = 600;
constexpr uint32_t LATE_REPLY_MAX_MS = 900;

constexpr uint64_t SOAK_EXCHANGES = 10000;
constexpr uint64_t SOAK_TIMEOUTS_PER_KIND = 15;  // unanswered, bad end byte, late

enum FaultKind : int {
  FAULT_NONE,
  FAULT_NOISE,
  FAULT_SLOW_REPLY,
  FAULT_WRONG_REPLY,
  FAULT_UNANSWERED,
  FAULT_BAD_END_BYTE,
  FAULT_LATE_REPLY,
  FAULT_KIND_COUNT,
};

constexpr std::array<const char*, FAULT_KIND_COUNT> FAULT_NAMES = {
    "healthy",    "noise before reply", "slow reply (<= 20 ms)",  "wrong reply",
    "unanswered", "bad end byte",       "late reply (600-900 ms)"};

bool ExchangeFails(FaultKind kind) {
  return kind == FAULT_WRONG_REPLY || kind == FAULT_UNANSWERED || kind == FAULT_BAD_END_BYTE ||
         kind == FAULT_LATE_REPLY;
}

// Sits between the tester and the device's serial line: the frames the tester sends while a
// fault is armed get noise in front of them or go out late.
class FaultRelay final : public sim::SerialPeer, public sim::SerialLine {
 public:
  explicit FaultRelay(std::shared_ptr<sim::SerialPeer> tester) : tester_(std::move(tester)) {}

  void Arm(std::vector<uint8_t> noise, uint32_t delayMs) {
    std::lock_guard lock(mutex_);
    noise_ = std::move(noise);
    delayMs_ = delayMs;
  }

  void Attach(sim::SerialLine* line) override {
    {
      std::lock_guard lock(mutex_);
      line_ = line;
    }
    tester_->Attach(this);
  }
  void Detach() override {
    tester_->Detach();
    std::lock_guard lock(mutex_);
    line_ = nullptr;
  }
  void OnHostBytes(const uint8_t* data, std::size_t length) override {
    tester_->OnHostBytes(data, length);
  }
  void OnOpen() override { tester_->OnOpen(); }
  void OnClose() override { tester_->OnClose(); }

  void SendToHost(const uint8_t* data, std::size_t length) override {
    SendToHostAfter(0, data, length);
  }
  void SendToHostAfter(uint32_t delayMs, const uint8_t* data, std::size_t length) override {
    std::lock_guard lock(mutex_);
    if (line_ == nullptr) return;
    std::vector<uint8_t> bytes = noise_;
    bytes.insert(bytes.end(), data, data + length);
    const uint32_t delay = delayMs + delayMs_;
    if (delay == 0) {
      line_->SendToHost(bytes.data(), bytes.size());
    } else {
      line_->SendToHostAfter(delay, bytes.data(), bytes.size());
    }
  }

 private:
  std::shared_ptr<sim::SerialPeer> tester_;
  std::mutex mutex_;
  sim::SerialLine* line_ = nullptr;
  std::vector<uint8_t> noise_;
  uint32_t delayMs_ = 0;
};

// The schedule: the few costly faults (each waits out a reply wait) spread at random, never two
// in a row, the cheap ones drawn per exchange. A failing exchange is always followed by a
// healthy one, which must succeed.
std::vector<FaultKind> MakeSchedule(std::mt19937_64& random, uint64_t exchanges,
                                    uint64_t timeoutsPerKind) {
  std::vector<FaultKind> schedule(exchanges, FAULT_NONE);
  std::uniform_int_distribution<int> cheap(0, 99);
  for (FaultKind& kind : schedule) {
    const int draw = cheap(random);
    kind = draw < 15   ? FAULT_NOISE
           : draw < 17 ? FAULT_SLOW_REPLY
           : draw < 22 ? FAULT_WRONG_REPLY
                       : FAULT_NONE;
  }
  std::uniform_int_distribution<uint64_t> position(1, exchanges - 2);
  for (FaultKind costly : {FAULT_UNANSWERED, FAULT_BAD_END_BYTE, FAULT_LATE_REPLY}) {
    for (uint64_t placed = 0; placed < timeoutsPerKind;) {
      const uint64_t at = position(random);
      if (ExchangeFails(schedule[at - 1]) || schedule[at + 1] >= FAULT_UNANSWERED ||
          schedule[at] >= FAULT_UNANSWERED) {
        continue;
      }
      schedule[at] = costly;
      ++placed;
    }
  }
  for (uint64_t i = 1; i < exchanges; ++i) {
    if (ExchangeFails(schedule[i - 1])) schedule[i] = FAULT_NONE;
  }
  return schedule;
}

TEST(LinkSoak, FaultsMixedIntoTenThousandExchangesEachEndWithinTheWaits) {
  const SoakClock::time_point start = SoakClock::now();
  std::mt19937_64 random(SoakSeed("link soak"));
  const uint64_t exchanges = std::max<uint64_t>(Scaled(SOAK_EXCHANGES), 100);
  const uint64_t timeoutsPerKind = std::max<uint64_t>(Scaled(SOAK_TIMEOUTS_PER_KIND), 2);
  const std::vector<FaultKind> schedule = MakeSchedule(random, exchanges, timeoutsPerKind);

  sim::Bench bench;
  toml::table faults = toml::parse(SOAK_TESTER_FAULTS);
  std::string error;
  std::shared_ptr<sim::SerialPeer> tester =
      sim::MakeTesterPeer(&faults, SOAK_TESTER_SERIAL, "", &error);
  ASSERT_NE(tester, nullptr) << error;
  auto relay = std::make_shared<FaultRelay>(tester);
  sim::BridgeDeviceConfig config;
  config.serial = SOAK_TESTER_SERIAL;
  bench.AddDevice(config, relay);

  link::TesterLink link;
  ASSERT_TRUE(link.Open(SOAK_TESTER_SERIAL));

  std::array<uint64_t, FAULT_KIND_COUNT> injected{};
  std::array<uint64_t, FAULT_KIND_COUNT> failed{};
  uint64_t unexpected = 0;
  double slowestFailingMs = 0;
  std::uniform_int_distribution<uint32_t> slow(1, SLOW_REPLY_MAX_MS);
  std::uniform_int_distribution<uint32_t> late(LATE_REPLY_MIN_MS, LATE_REPLY_MAX_MS);
  std::uniform_int_distribution<int> noiseLength(1, 12);
  std::uniform_int_distribution<int> noiseByte(0, 255);

  // A reply that comes after its exchange gave up is taken by whichever exchange waits next,
  // and only the command byte can tell it from that exchange's own reply (the link's protocol
  // has no sequence numbers). Two late replies of the same command close together would make the
  // second exchange pass on the first one's reply, so a late fault waits until the previous late
  // reply has landed and two exchanges have taken it and its successor.
  SoakClock::time_point lateLandsBy = SoakClock::now();
  uint64_t absorbing = 0;
  const auto absorbLateReply = [&] {
    std::this_thread::sleep_until(lateLandsBy);
    for (int n = 0; n < 2; ++n) {
      link::StatsReply stats{};
      ++absorbing;
      if (!link.GetStats(stats)) {
        ++unexpected;
        ADD_FAILURE() << "healthy exchange after a late reply landed failed";
      }
    }
  };

  for (uint64_t i = 0; i < exchanges; ++i) {
    const FaultKind kind = schedule[i];
    if (kind == FAULT_LATE_REPLY && SoakClock::now() < lateLandsBy + std::chrono::seconds(1)) {
      absorbLateReply();
    }
    ++injected[kind];
    std::vector<uint8_t> noise;
    if (kind == FAULT_NOISE) {
      // Line noise that holds no frame start: a start byte in the noise could legitimately
      // swallow the reply behind it.
      for (int n = noiseLength(random); n > 0; --n) {
        const auto byte = static_cast<uint8_t>(noiseByte(random));
        noise.push_back(byte == link::STX ? 0x55 : byte);
      }
    }
    const uint32_t delayMs = kind == FAULT_SLOW_REPLY   ? slow(random)
                             : kind == FAULT_LATE_REPLY ? late(random)
                                                        : 0;
    relay->Arm(std::move(noise), delayMs);

    const SoakClock::time_point exchangeStart = SoakClock::now();
    if (kind == FAULT_LATE_REPLY) {
      lateLandsBy = exchangeStart + std::chrono::milliseconds(delayMs + 100);
    }
    bool ok = false;
    switch (kind) {
      case FAULT_WRONG_REPLY: {
        link::ConnectionReply connection{};
        ok = link.GetConnection(connection);
        break;
      }
      case FAULT_UNANSWERED: {
        link::ProfileList profiles{};
        ok = link.GetProfiles(profiles);
        break;
      }
      case FAULT_BAD_END_BYTE:
        ok = link.SetProfile(1, 5000).answered;
        break;
      default: {
        link::StatsReply stats{};
        ok = link.GetStats(stats);
        break;
      }
    }
    const double tookMs = MillisecondsSince(exchangeStart);
    relay->Arm({}, 0);

    if (!ok) ++failed[kind];
    if (ok == ExchangeFails(kind)) {
      ++unexpected;
      ADD_FAILURE() << "exchange " << i << " (" << FAULT_NAMES[kind] << ", after "
                    << (i > 0 ? FAULT_NAMES[schedule[i - 1]] : "open") << ") "
                    << (ok ? "succeeded" : "failed") << " after " << tookMs << " ms";
      if (unexpected > 20) break;
    }
    if (!ok) {
      slowestFailingMs = std::max(slowestFailingMs, tookMs);
      EXPECT_LE(tookMs, FAILING_EXCHANGE_BOUND_MS)
          << "exchange " << i << " (" << FAULT_NAMES[kind] << ") outlasted the link's waits";
    }
  }
  link.Close();

  std::printf(
      "link soak: %llu exchanges (and %llu taking late replies) in %.1f s, %llu unexpected "
      "outcomes, slowest failing exchange %.0f ms (bound %.0f ms)\n",
      static_cast<unsigned long long>(exchanges), static_cast<unsigned long long>(absorbing),
      MillisecondsSince(start) / 1000.0, static_cast<unsigned long long>(unexpected),
      slowestFailingMs, FAILING_EXCHANGE_BOUND_MS);
  for (int kind = 0; kind < FAULT_KIND_COUNT; ++kind) {
    std::printf("  %-26s injected %6llu  failed %6llu\n", FAULT_NAMES[kind],
                static_cast<unsigned long long>(injected[kind]),
                static_cast<unsigned long long>(failed[kind]));
  }
}

}  // namespace
}  // namespace ralvex::soak

// The tester link against a scripted peer sending arbitrary bytes. The input is read as it is
// needed: each frame the link writes is answered by the next chunk of the input (a length byte and
// that many bytes: replies, noise, notifications, cut frames), and between exchanges one byte
// picks the next request of the session, or sends a chunk unprompted.
//
// So that no exchange sits in its 500 ms wait, the peer keeps a parser of its own fed with every
// byte it sends: when a chunk has not completed a reply frame, the peer ends the frame in progress
// with filler bytes and sends one short reply that answers no command. Each exchange then gets a
// reply at once, and the bytes the link sees before it are exactly the input's.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"
#include "link/receive_parser.h"
#include "link/tester_link.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/device_config.h"
#include "sim/scripted_peer.h"

namespace {

using ralvex::link::ReceiveParser;

constexpr const char* SERIAL = "KORA0001";
// A reply frame whose payload, 0x00, repeats no command and is no notification.
constexpr uint8_t UNMATCHED_REPLY[] = {ralvex::link::STX, 0x01, 0x00, 0x00 ^ 0x01 ^ 0x02 ^ 0x03,
                                       ralvex::link::ETX};

class Script {
 public:
  Script(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return at_ >= size_;
  }
  uint8_t Byte() {
    std::lock_guard<std::mutex> lock(mutex_);
    return NextByte();
  }
  uint16_t Word() {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint8_t low = NextByte();
    return static_cast<uint16_t>(low | (NextByte() << 8));
  }

  // The next chunk of the input, as it goes to the host; `answer` adds what ends the exchange.
  std::vector<uint8_t> Chunk(bool answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The length byte first: what remains of the input is counted after it.
    const std::size_t wanted = NextByte();
    const std::size_t length = std::min(wanted, size_ - std::min(at_, size_));
    std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + length);
    at_ += length;
    bool replied = false;
    for (std::size_t i = 0; i < bytes.size();) {
      const auto result = mirror_.Feed(std::span(bytes).subspan(i));
      replied = replied || result.replyReady;
      i += result.consumed;
      if (result.consumed == 0) break;
    }
    if (answer && !replied) {
      while (!mirror_.Hunting()) {
        bytes.push_back(0x00);
        mirror_.Feed(std::span(bytes).last(1));
      }
      bytes.insert(bytes.end(), std::begin(UNMATCHED_REPLY), std::end(UNMATCHED_REPLY));
      mirror_.Feed(UNMATCHED_REPLY);
    }
    return bytes;
  }

 private:
  uint8_t NextByte() { return at_ < size_ ? data_[at_++] : 0; }

  std::mutex mutex_;
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  ReceiveParser mirror_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ralvex;
  Script script(data, size);
  auto peer = std::make_shared<sim::ScriptedPeer>(
      [&script](const uint8_t*, std::size_t, sim::SerialLine& line) {
        const std::vector<uint8_t> bytes = script.Chunk(true);
        line.SendToHost(bytes.data(), bytes.size());
      });
  sim::Bench bench;
  sim::BridgeDeviceConfig config;
  config.serial = SERIAL;
  bench.AddDevice(config, peer);

  link::TesterLink link;
  link.Open(SERIAL);
  // Requests go on after a failed greeting too: the I/O thread keeps running until Close.
  for (int requests = 0; requests < 32 && !script.Empty(); ++requests) {
    switch (script.Byte() % 10) {
      case 0: {
        link::ConnectionReply reply{};
        link.GetConnection(reply);
        break;
      }
      case 1: {
        link::ProfileList list{};
        link.GetProfiles(list);
        break;
      }
      case 2: {
        link::StatsReply stats{};
        link.GetStats(stats);
        break;
      }
      case 3: {
        const uint8_t id = script.Byte();
        link.SetProfile(id, script.Word());
        break;
      }
      case 4:
        link.SetDefaultVoltage(script.Word());
        break;
      case 5:
        link.SetDefaultLoad(script.Word());
        break;
      case 6:
        link.SetLoad(script.Word());
        break;
      case 7:
        link.SetMaxLoad(script.Word());
        break;
      case 8:
        peer->Send(script.Chunk(false));
        break;
      case 9:
        link.ReadSettings();
        break;
    }
  }
  link.Close();
  return 0;
}

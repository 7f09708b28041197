#include "sim/tester/tester_peer.h"

#include <mutex>
#include <utility>
#include <vector>

#include "sim/tester/tester_config.h"
#include "sim/tester/tester_firmware.h"
#include "sim/tester/tester_frame.h"
#include "sim/tester/tester_state.h"

namespace ralvex::sim {

namespace {

// A reply that fails the host's command-byte test but is still a well-formed frame.
constexpr uint8_t REPLY_WRONG_FLIP = 0x40;
constexpr uint8_t REPLY_BAD_END_BYTE = 0x04;

class TesterPeer final : public SerialPeer {
 public:
  TesterPeer(TesterConfig config, TesterState state, bool live, std::string serial,
             std::string statePath)
      : firmware_(std::move(config), state, live),
        serial_(std::move(serial)),
        statePath_(std::move(statePath)) {}

  void Attach(SerialLine* line) override {
    std::lock_guard lock(mutex_);
    line_ = line;
    receiver_.Reset();
  }

  void Detach() override {
    std::lock_guard lock(mutex_);
    line_ = nullptr;
    receiver_.Reset();
  }

  void OnHostBytes(const uint8_t* data, size_t length) override {
    // Held while sending too, so that Detach cannot return while the line is still in use.
    std::lock_guard lock(mutex_);
    receiver_.Push(data, length, [this](const uint8_t* payload, size_t n) { Handle(payload, n); });
  }

  // A new session starts with an empty receive buffer: a half frame from before is stale.
  void OnOpen() override {
    std::lock_guard lock(mutex_);
    receiver_.Reset();
  }

  void OnClose() override {
    std::lock_guard lock(mutex_);
    receiver_.Reset();
  }

 private:
  void Handle(const uint8_t* payload, size_t length) {
    const TesterResponse response = firmware_.Handle(payload, length);
    if (response.stateChanged) SaveTesterState(statePath_, serial_, firmware_.state());
    const TesterConfig& config = firmware_.config();
    if (config.silent) return;
    for (const auto& notification : response.notifications) Send(BuildTesterFrame(notification));
    const uint8_t command = payload[0];
    if (response.reply.empty() || config.unanswered.test(command)) return;
    std::vector<uint8_t> reply = response.reply;
    if (config.wrongReply.test(command)) reply[0] ^= REPLY_WRONG_FLIP;
    std::vector<uint8_t> bytes = config.noiseBeforeReply;
    const std::vector<uint8_t> frame =
        BuildTesterFrame(reply, config.badEndByte.test(command) ? REPLY_BAD_END_BYTE : TESTER_ETX);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    Send(bytes);
  }

  void Send(const std::vector<uint8_t>& bytes) {
    if (line_ == nullptr || bytes.empty()) return;
    const uint32_t delay = firmware_.config().replyDelayMs;
    if (delay > 0) {
      line_->SendToHostAfter(delay, bytes.data(), bytes.size());
    } else {
      line_->SendToHost(bytes.data(), bytes.size());
    }
  }

  std::mutex mutex_;
  SerialLine* line_ = nullptr;
  TesterFrameReceiver receiver_;
  TesterFirmware firmware_;
  const std::string serial_;
  const std::string statePath_;
};

}  // namespace

std::unique_ptr<SerialPeer> MakeTesterPeer(const toml::table* config, const std::string& serial,
                                           const std::string& statePath, std::string* error,
                                           uint32_t* line) {
  TesterConfig parsed;
  if (!ParseTesterConfig(config, &parsed, error, line)) return nullptr;
  TesterState state;
  bool live = false;
  if (!LoadTesterState(statePath, serial, &state, &live)) {
    state = TesterState{};
    live = false;
  }
  return std::make_unique<TesterPeer>(std::move(parsed), state, live, serial, statePath);
}

}  // namespace ralvex::sim

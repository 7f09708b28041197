#include "sim/tester/tester_peer.h"

#include <algorithm>
#include <mutex>
#include <optional>
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

// The longest gap between runs the tester lets pass (a clock set far back or forward).
constexpr int64_t LONGEST_GAP_MS = int64_t{10} * 366 * 24 * 3600 * 1000;

// The tester as the state file has it, with the time since it was stored passed. A tester with
// nothing stored (or nothing readable) starts fresh.
TesterFirmware LoadFirmware(const TesterConfig& config, const std::string& statePath,
                            const std::string& serial, const TesterClock& clock) {
  TesterState state;
  bool live = false;
  std::optional<int64_t> written;
  if (!LoadTesterState(statePath, serial, &state, &live, &written)) {
    state = TesterState{};
    live = false;
    written.reset();
  }
  TesterFirmware firmware(config, state, live);
  if (live && written) {
    firmware.Advance(
        static_cast<uint64_t>(std::clamp(clock.WallMs() - *written, int64_t{0}, LONGEST_GAP_MS)));
  }
  return firmware;
}

class TesterPeer final : public SerialPeer {
 public:
  TesterPeer(TesterFirmware firmware, std::string serial, std::string statePath,
             std::shared_ptr<TesterClock> clock)
      : firmware_(std::move(firmware)),
        serial_(std::move(serial)),
        statePath_(std::move(statePath)),
        clock_(std::move(clock)),
        lastMs_(clock_->MonotonicMs()) {}

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

  // A new session starts with an empty receive buffer: a half frame from before is stale. The
  // state is read again: another process on the bench may have changed it since.
  void OnOpen() override {
    std::lock_guard lock(mutex_);
    receiver_.Reset();
    if (statePath_.empty()) return;
    firmware_ = LoadFirmware(firmware_.config(), statePath_, serial_, *clock_);
    lastMs_ = clock_->MonotonicMs();
  }

  void OnClose() override {
    std::lock_guard lock(mutex_);
    receiver_.Reset();
  }

 private:
  void Handle(const uint8_t* payload, size_t length) {
    const uint64_t now = clock_->MonotonicMs();
    firmware_.Advance(now > lastMs_ ? now - lastMs_ : 0);
    lastMs_ = std::max(now, lastMs_);
    const TesterResponse response = firmware_.Handle(payload, length);
    if (response.stateChanged) {
      SaveTesterState(statePath_, serial_, firmware_.state(), clock_->WallMs());
    }
    const TesterConfig& config = firmware_.config();
    if (config.silent) return;
    for (const auto& notification : response.notifications) Send(BuildTesterFrame(notification));
    if (!response.comeback.empty()) {
      Send(BuildTesterFrame(response.comeback), response.comebackAfterMs);
    }
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

  // Goes out `laterMs` from now, plus the bench's reply delay.
  void Send(const std::vector<uint8_t>& bytes, uint32_t laterMs = 0) {
    if (line_ == nullptr || bytes.empty()) return;
    const uint32_t delay = firmware_.config().replyDelayMs + laterMs;
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
  const std::shared_ptr<TesterClock> clock_;
  uint64_t lastMs_;  // when the source was last brought up to date
};

}  // namespace

std::unique_ptr<SerialPeer> MakeTesterPeer(const toml::table* config, const std::string& serial,
                                           const std::string& statePath, std::string* error,
                                           uint32_t* line, std::shared_ptr<TesterClock> clock) {
  TesterConfig parsed;
  if (!ParseTesterConfig(config, &parsed, error, line)) return nullptr;
  if (!clock) clock = SystemTesterClock();
  TesterFirmware firmware = LoadFirmware(parsed, statePath, serial, *clock);
  return std::make_unique<TesterPeer>(std::move(firmware), serial, statePath, std::move(clock));
}

}  // namespace ralvex::sim

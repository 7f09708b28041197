#include "sim/bridge_device.h"

#include <algorithm>
#include <utility>

#include "sim/bridge_device_impl.h"

namespace ralvex::sim {
namespace {

constexpr size_t MAX_SERIAL = 15;       // the device-information reply holds 16 bytes
constexpr size_t MAX_DESCRIPTION = 63;  // and 64 for the description

BridgeDeviceConfig Resolve(BridgeDeviceConfig config) {
  if (config.serial.size() > MAX_SERIAL) config.serial.resize(MAX_SERIAL);
  if (!config.description) config.description = std::string(DefaultDescription(config.chip));
  if (config.description->size() > MAX_DESCRIPTION) config.description->resize(MAX_DESCRIPTION);
  if (!config.pid) config.pid = DefaultProductId(config.chip);
  if (!config.high_speed) config.high_speed = DefaultHighSpeed(config.chip);
  if (!config.eeprom_words || !IsValidEepromWords(*config.eeprom_words)) {
    config.eeprom_words = DefaultEepromWords(config.chip);
  }
  return config;
}

// The file a successful Open hands out.
class BridgeFile final : public posix::DeviceFile {
 public:
  BridgeFile(std::shared_ptr<BridgeDevice::Impl> impl, uint64_t id, uint64_t session)
      : impl_(std::move(impl)), id_(id), session_(session) {}

  uint32_t Control(uint32_t code, const void* in, uint32_t in_length, void* out,
                   uint32_t out_length, uint32_t* returned) override {
    // A local reference: a comm-event wait may outlive this file if the handle is closed
    // meanwhile.
    std::shared_ptr<BridgeDevice::Impl> impl = impl_;
    return impl->Control(id_, session_, code, in, in_length, out, out_length, returned);
  }
  void StartRead(posix::IoRequest& request) override {
    impl_->channel().StartRead(request, id_, session_);
  }
  void StartWrite(posix::IoRequest& request) override {
    impl_->channel().StartWrite(request, id_, session_);
  }
  void Cancel(posix::IoRequest& request) override { impl_->channel().Cancel(request); }
  void Closing() override { impl_->channel().AbortEventWaits(id_); }
  void Close() override {
    if (!closed_) impl_->CloseFile(id_, session_);
    closed_ = true;
  }
  ~BridgeFile() override { Close(); }

 private:
  std::shared_ptr<BridgeDevice::Impl> impl_;
  uint64_t id_;
  uint64_t session_;
  bool closed_ = false;
};

}  // namespace

bool IsValidRequestSlot(uint32_t slot) {
  if (slot <= 3 || slot == 16) return true;
  if (slot >= 32 && slot <= 41) return true;
  if (slot == 65 || (slot >= 67 && slot <= 69) || (slot >= 71 && slot <= 74)) return true;
  if (slot == 76 || slot == 77 || (slot >= 81 && slot <= 83) || slot == 86 || slot == 87) {
    return true;
  }
  return slot >= 89 && slot <= 124;
}

bool ValidateBridgeDeviceConfig(const BridgeDeviceConfig& config, std::string* error) {
  auto fail = [error](std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
  };
  if (config.serial.size() > MAX_SERIAL) {
    return fail("serial: at most 15 characters");
  }
  if (config.description && config.description->size() > MAX_DESCRIPTION) {
    return fail("description: at most 63 characters");
  }
  uint32_t words = config.eeprom_words.value_or(DefaultEepromWords(config.chip));
  if (!IsValidEepromWords(words)) {
    return fail("eeprom_words: must be 0, 64, 128, 256 or 1024");
  }
  if (config.eeprom.size() > words) {
    return fail("eeprom: more words than the EEPROM holds");
  }
  for (uint32_t slot : config.refuse) {
    if (!IsValidRequestSlot(slot)) {
      return fail("refuse: slot " + std::to_string(slot) + " is not a request slot");
    }
  }
  return true;
}

// ---- Impl: life cycle ----

BridgeDevice::Impl::Impl(BridgeDeviceConfig config)
    : config_(Resolve(std::move(config))),
      refused_(REQUEST_SLOT_COUNT, false),
      held_open_(config_.held_open),
      unplugged_(config_.unplugged),
      eeprom_(*config_.eeprom_words, config_.eeprom),
      channel_(config_.wire_model, config_.unplug_after_bytes, config_.read_failures,
               SerialChannel::Hooks{
                   [this](const uint8_t* data, size_t length) { DeliverToPeer(data, length); },
                   [this] { Unplug(); }}) {
  for (uint32_t slot : config_.refuse) {
    if (slot < REQUEST_SLOT_COUNT) refused_[slot] = true;
  }
  eeprom_.SetWritesStick(config_.eeprom_writes_stick);
  if (unplugged_) channel_.SetConnected(false);
  channel_.SetWireParameters(line_.baud_rate, line_.latency_timer);
}

BridgeDevice::Impl::~Impl() {
  std::shared_ptr<SerialPeer> peer;
  {
    std::lock_guard<std::mutex> lock(peer_mutex_);
    peer = std::move(peer_);
  }
  if (peer) peer->Detach();
}

uint32_t BridgeDevice::Impl::Open(std::unique_ptr<posix::DeviceFile>* file) {
  if (file == nullptr) return ERROR_INVALID_PARAMETER;
  uint64_t id;
  uint64_t session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_ || cycled_) return ERROR_FILE_NOT_FOUND;
    // The port is exclusive whatever the share mode, like any serial port.
    if (held_open_ || open_files_ > 0) return ERROR_ACCESS_DENIED;
    ++open_files_;
    id = next_file_++;
    session = session_;
  }
  *file = std::make_unique<BridgeFile>(shared_from_this(), id, session);
  std::lock_guard<std::mutex> lock(peer_mutex_);
  if (peer_) peer_->OnOpen();
  return 0;
}

void BridgeDevice::Impl::CloseFile(uint64_t file, uint64_t session) {
  channel_.CloseFile(file);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session == session_ && open_files_ > 0) --open_files_;
  }
  std::lock_guard<std::mutex> lock(peer_mutex_);
  if (peer_) peer_->OnClose();
}

void BridgeDevice::Impl::ResetLineLocked() {
  BridgeLineState fresh;
  line_ = fresh;
  xon_limit_ = 0;
  xoff_limit_ = 0;
  eof_char_ = 0;
  dcb_other_flags_ = 0;
}

void BridgeDevice::Impl::ResetChannelSettings() {
  BridgeLineState fresh;
  channel_.SetTimeouts(SerialTimeouts{});
  channel_.SetWaitMask(0);
  channel_.SetEventChar(0, false);
  channel_.SetWireParameters(fresh.baud_rate, fresh.latency_timer);
  channel_.SetStopped(false);
}

void BridgeDevice::Impl::Leave(Leaving why) {
  uint64_t next;
  DEVINST node;
  bool was_present;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    was_present = !cycled_ && !unplugged_;
    if (why == Leaving::kCycle) cycled_ = true;
    if (why == Leaving::kUnplug) unplugged_ = true;
    next = ++session_;
    open_files_ = 0;
    ResetLineLocked();
    node = devinst_;
  }
  bool present = why == Leaving::kRestart;
  channel_.EndSession(next, present);
  ResetChannelSettings();
  if (!present && was_present && node != 0) posix::SetDeviceNodePresent(node, false);
}

uint32_t BridgeDevice::Impl::Restart(bool* needs_reboot) {
  if (needs_reboot != nullptr) *needs_reboot = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_ || cycled_) return ERROR_NO_SUCH_DEVINST;
    if (config_.restart_fails) return ERROR_GEN_FAILURE;
  }
  Leave(Leaving::kRestart);
  if (needs_reboot != nullptr) *needs_reboot = config_.restart_needs_reboot;
  return 0;
}

void BridgeDevice::Impl::Reenumerate() {
  DEVINST node;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!cycled_) return;
    cycled_ = false;
    if (unplugged_) return;
    node = devinst_;
  }
  channel_.SetConnected(true);
  if (node != 0) posix::SetDeviceNodePresent(node, true);
}

void BridgeDevice::Impl::Unplug() {
  Leave(Leaving::kUnplug);
}

void BridgeDevice::Impl::Replug() {
  DEVINST node;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!unplugged_ && !cycled_) return;
    // Plugged in again it enumerates afresh, whatever port cycle it was in.
    unplugged_ = false;
    cycled_ = false;
    node = devinst_;
  }
  channel_.ResetBudget(std::nullopt);
  channel_.SetConnected(true);
  if (node != 0) posix::SetDeviceNodePresent(node, true);
}

// ---- Impl: peer ----

void BridgeDevice::Impl::DeliverToPeer(const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> lock(peer_mutex_);
  if (peer_) peer_->OnHostBytes(data, length);
}

void BridgeDevice::Impl::SetPeer(std::shared_ptr<SerialPeer> peer) {
  bool open = IsOpen();
  {
    std::lock_guard<std::mutex> lock(peer_mutex_);
    if (peer_ == peer) return;
    if (peer_) peer_->Detach();
    peer_ = std::move(peer);
    peer_wired_ = peer_ != nullptr;
    if (peer_) {
      peer_->Attach(&channel_);
      if (open) peer_->OnOpen();
    }
  }
  // CTS and DSR follow the cable.
  channel_.RaiseEvents(EV_CTS | EV_DSR, EVENT_STATUS_MODEM);
}

std::shared_ptr<SerialPeer> BridgeDevice::Impl::Peer() const {
  std::lock_guard<std::mutex> lock(peer_mutex_);
  return peer_;
}

uint32_t BridgeDevice::Impl::ModemStatus() const {
  return peer_wired_ ? (MS_CTS_ON | MS_DSR_ON) : 0;
}

// ---- Impl: state ----

void BridgeDevice::Impl::SetDevInst(DEVINST node) {
  bool present;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    devinst_ = node;
    present = !unplugged_ && !cycled_;
  }
  if (node != 0 && !present) posix::SetDeviceNodePresent(node, false);
}

DEVINST BridgeDevice::Impl::DevInst() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devinst_;
}

bool BridgeDevice::Impl::Cycled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cycled_;
}

bool BridgeDevice::Impl::Present() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !cycled_ && !unplugged_;
}

bool BridgeDevice::Impl::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_files_ > 0;
}

void BridgeDevice::Impl::SetHeldOpen(bool held) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_open_ = held;
}

void BridgeDevice::Impl::SetEepromWritesStick(bool stick) {
  std::lock_guard<std::mutex> lock(mutex_);
  eeprom_.SetWritesStick(stick);
}

std::vector<DeviceRequest> BridgeDevice::Impl::Requests() const {
  std::lock_guard<std::mutex> lock(log_mutex_);
  return log_;
}

void BridgeDevice::Impl::ClearRequests() {
  std::lock_guard<std::mutex> lock(log_mutex_);
  log_.clear();
}

BridgeLineState BridgeDevice::Impl::LineState() const {
  BridgeLineState state;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state = line_;
  }
  SerialTimeouts t = channel_.Timeouts();
  state.read_interval_timeout = t.read_interval;
  state.read_total_multiplier = t.read_multiplier;
  state.read_total_constant = t.read_constant;
  state.write_total_multiplier = t.write_multiplier;
  state.write_total_constant = t.write_constant;
  state.wait_mask = channel_.WaitMask();
  state.stopped = channel_.Stopped();
  return state;
}

std::vector<uint16_t> BridgeDevice::Impl::EepromWords() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eeprom_.Words();
}

// ---- BridgeDevice ----

BridgeDevice::BridgeDevice(BridgeDeviceConfig config)
    : impl_(std::make_shared<Impl>(std::move(config))) {}

BridgeDevice::~BridgeDevice() = default;

uint32_t BridgeDevice::Open(bool /*exclusive*/, std::unique_ptr<posix::DeviceFile>* file) {
  return impl_->Open(file);
}
uint32_t BridgeDevice::Restart(bool* needs_reboot) {
  return impl_->Restart(needs_reboot);
}
void BridgeDevice::Reenumerate() {
  impl_->Reenumerate();
}

const BridgeDeviceConfig& BridgeDevice::Config() const {
  return impl_->config();
}
uint16_t BridgeDevice::ProductId() const {
  return *impl_->config().pid;
}
const std::string& BridgeDevice::Description() const {
  return *impl_->config().description;
}
bool BridgeDevice::HighSpeed() const {
  return *impl_->config().high_speed;
}
uint32_t BridgeDevice::EepromWordCount() const {
  return *impl_->config().eeprom_words;
}

void BridgeDevice::SetPeer(std::shared_ptr<SerialPeer> peer) {
  impl_->SetPeer(std::move(peer));
}
std::shared_ptr<SerialPeer> BridgeDevice::Peer() const {
  return impl_->Peer();
}

void BridgeDevice::SetDevInst(DEVINST node) {
  impl_->SetDevInst(node);
}
DEVINST BridgeDevice::DevInst() const {
  return impl_->DevInst();
}
bool BridgeDevice::Cycled() const {
  return impl_->Cycled();
}
bool BridgeDevice::Present() const {
  return impl_->Present();
}
bool BridgeDevice::IsOpen() const {
  return impl_->IsOpen();
}

void BridgeDevice::Unplug() {
  impl_->Unplug();
}
void BridgeDevice::Replug() {
  impl_->Replug();
}
void BridgeDevice::SetHeldOpen(bool held) {
  impl_->SetHeldOpen(held);
}
void BridgeDevice::FailReads(uint32_t count) {
  impl_->channel().FailReads(count);
}
void BridgeDevice::SetEepromWritesStick(bool stick) {
  impl_->SetEepromWritesStick(stick);
}

std::vector<DeviceRequest> BridgeDevice::Requests() const {
  return impl_->Requests();
}
void BridgeDevice::ClearRequests() {
  impl_->ClearRequests();
}

BridgeLineState BridgeDevice::LineState() const {
  return impl_->LineState();
}
std::vector<uint16_t> BridgeDevice::EepromWords() const {
  return impl_->EepromWords();
}
size_t BridgeDevice::ReceiveQueueSize() const {
  return impl_->channel().ReceiveCount();
}

void BridgeDevice::InjectFromPeer(const uint8_t* data, size_t length) {
  impl_->channel().SendToHost(data, length);
}

}  // namespace ralvex::sim

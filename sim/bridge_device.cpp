#include "sim/bridge_device.h"

#include <algorithm>
#include <utility>

namespace ralvex::sim {

// The file a successful Open hands out. It shares the device, so a handle left open after the
// bench went down still reaches live state.
class BridgeFile final : public posix::DeviceFile {
 public:
  BridgeFile(std::shared_ptr<BridgeDevice> device, uint64_t id, uint64_t session)
      : device_(std::move(device)), id_(id), session_(session) {}

  uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                   uint32_t* returned) override {
    // A local reference: a comm-event wait may outlive this file if the handle is closed
    // meanwhile.
    std::shared_ptr<BridgeDevice> device = device_;
    return device->Control(id_, session_, code, in, inLength, out, outLength, returned);
  }
  void StartRead(posix::IoRequest& request) override {
    device_->channel_.StartRead(request, id_, session_);
  }
  void StartWrite(posix::IoRequest& request) override {
    device_->channel_.StartWrite(request, id_, session_);
  }
  void Cancel(posix::IoRequest& request) override { device_->channel_.Cancel(request); }
  void Closing() override { device_->channel_.AbortEventWaits(id_); }
  void Close() override {
    if (!closed_) device_->CloseFile(id_, session_);
    closed_ = true;
  }
  ~BridgeFile() override { Close(); }

 private:
  std::shared_ptr<BridgeDevice> device_;
  uint64_t id_;
  uint64_t session_;
  bool closed_ = false;
};

// ---- life cycle ----

BridgeDevice::BridgeDevice(BridgeDeviceConfig config)
    : config_(ResolveBridgeDeviceConfig(std::move(config))),
      refused_(devside::REQUEST_SLOT_COUNT, false),
      heldOpen_(config_.heldOpen),
      unplugged_(config_.unplugged),
      eeprom_(*config_.eepromWords, config_.eeprom,
              config_.chip == CHIP_232R ? std::optional(config_.factoryWord) : std::nullopt),
      channel_(config_.wireModel, PacketSize(), config_.unplugAfterBytes, config_.readFailures,
               SerialChannel::Hooks{
                   [this](const uint8_t* data, size_t length) { DeliverToPeer(data, length); },
                   [this] { Unplug(); }}) {
  for (uint32_t slot : config_.refuse) {
    if (slot < devside::REQUEST_SLOT_COUNT) refused_[slot] = true;
  }
  eeprom_.SetWritesStick(config_.eepromWritesStick);
  if (unplugged_) channel_.SetConnected(false);
  channel_.SetWireParameters(line_.baudRate, line_.latencyTimer);
}

BridgeDevice::~BridgeDevice() {
  std::shared_ptr<SerialPeer> peer;
  {
    std::lock_guard<std::mutex> lock(peerMutex_);
    peer = std::move(peer_);
  }
  if (peer) peer->Detach();
}

uint32_t BridgeDevice::Open(bool /*exclusive*/, std::unique_ptr<posix::DeviceFile>* file) {
  if (file == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<BridgeDevice> self = weak_from_this().lock();
  if (!self) return ERROR_GEN_FAILURE;
  uint64_t id;
  uint64_t session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_ || cycled_) return ERROR_FILE_NOT_FOUND;
    // The port is exclusive whatever the share mode, like any serial port.
    if (heldOpen_ || openFiles_ > 0) return ERROR_ACCESS_DENIED;
    if (openGuard_ && !openGuard_->Acquire()) return ERROR_ACCESS_DENIED;
    ++openFiles_;
    id = nextFile_++;
    session = session_;
  }
  *file = std::make_unique<BridgeFile>(std::move(self), id, session);
  std::lock_guard<std::mutex> lock(peerMutex_);
  if (peer_) peer_->OnOpen();
  return 0;
}

void BridgeDevice::CloseFile(uint64_t file, uint64_t session) {
  channel_.CloseFile(file);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session == session_ && openFiles_ > 0 && --openFiles_ == 0 && openGuard_) {
      openGuard_->Release();
    }
  }
  std::lock_guard<std::mutex> lock(peerMutex_);
  if (peer_) peer_->OnClose();
}

void BridgeDevice::ResetLineLocked() {
  BridgeLineState fresh;
  line_ = fresh;
  xonLimit_ = 0;
  xoffLimit_ = 0;
  eofChar_ = 0;
  dcbOtherFlags_ = 0;
}

void BridgeDevice::ResetChannelSettings() {
  BridgeLineState fresh;
  channel_.SetTimeouts(devside::SerialTimeouts{});
  channel_.SetWaitMask(0);
  channel_.SetEventChar(0, false);
  channel_.SetWireParameters(fresh.baudRate, fresh.latencyTimer);
  channel_.SetStopped(false);
}

void BridgeDevice::Leave(Leaving why) {
  std::lock_guard<std::mutex> presence(presenceMutex_);
  uint64_t next;
  DEVINST node;
  bool wasPresent;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wasPresent = !cycled_ && !unplugged_;
    if (why == LEAVE_CYCLE) cycled_ = true;
    if (why == LEAVE_UNPLUG) unplugged_ = true;
    next = ++session_;
    if (openFiles_ > 0 && openGuard_) openGuard_->Release();
    openFiles_ = 0;
    ResetLineLocked();
    node = devInst_;
  }
  bool present = why == LEAVE_RESTART;
  channel_.EndSession(next, present);
  ResetChannelSettings();
  if (!present && wasPresent && node != 0) posix::SetDeviceNodePresent(node, false);
}

uint32_t BridgeDevice::Restart(bool* needsReboot) {
  if (needsReboot != nullptr) *needsReboot = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_ || cycled_) return ERROR_NO_SUCH_DEVINST;
    if (config_.restartFails) return ERROR_GEN_FAILURE;
  }
  Leave(LEAVE_RESTART);
  if (needsReboot != nullptr) *needsReboot = config_.restartNeedsReboot;
  return 0;
}

void BridgeDevice::Reenumerate() {
  std::lock_guard<std::mutex> presence(presenceMutex_);
  DEVINST node;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!cycled_) return;
    cycled_ = false;
    if (unplugged_) return;
    node = devInst_;
  }
  channel_.SetConnected(true);
  if (node != 0) posix::SetDeviceNodePresent(node, true);
}

void BridgeDevice::Unplug() {
  Leave(LEAVE_UNPLUG);
}

void BridgeDevice::Replug() {
  std::lock_guard<std::mutex> presence(presenceMutex_);
  DEVINST node;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!unplugged_ && !cycled_) return;
    // Plugged in again it enumerates afresh, whatever port cycle it was in.
    unplugged_ = false;
    cycled_ = false;
    node = devInst_;
  }
  channel_.ResetBudget(std::nullopt);
  channel_.SetConnected(true);
  if (node != 0) posix::SetDeviceNodePresent(node, true);
}

// ---- peer ----

void BridgeDevice::DeliverToPeer(const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> lock(peerMutex_);
  if (peer_) peer_->OnHostBytes(data, length);
}

void BridgeDevice::SetPeer(std::shared_ptr<SerialPeer> peer) {
  bool open = IsOpen();
  {
    std::lock_guard<std::mutex> lock(peerMutex_);
    if (peer_ == peer) return;
    if (peer_) peer_->Detach();
    peer_ = std::move(peer);
    peerWired_ = peer_ != nullptr;
    if (peer_) {
      peer_->Attach(&channel_);
      if (open) peer_->OnOpen();
    }
  }
  // CTS and DSR follow the cable.
  channel_.RaiseEvents(EV_CTS | EV_DSR, devside::EVENT_STATUS_MODEM);
}

std::shared_ptr<SerialPeer> BridgeDevice::Peer() const {
  std::lock_guard<std::mutex> lock(peerMutex_);
  return peer_;
}

uint32_t BridgeDevice::ModemStatus() const {
  return peerWired_ ? (MS_CTS_ON | MS_DSR_ON) : 0;
}

// ---- state ----

void BridgeDevice::SetDevInst(DEVINST node) {
  std::lock_guard<std::mutex> presence(presenceMutex_);
  bool present;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    devInst_ = node;
    present = !unplugged_ && !cycled_;
  }
  if (node != 0 && !present) posix::SetDeviceNodePresent(node, false);
}

DEVINST BridgeDevice::DevInst() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devInst_;
}

bool BridgeDevice::Cycled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cycled_;
}

bool BridgeDevice::Present() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !cycled_ && !unplugged_;
}

bool BridgeDevice::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openFiles_ > 0;
}

void BridgeDevice::SetHeldOpen(bool held) {
  std::lock_guard<std::mutex> lock(mutex_);
  heldOpen_ = held;
}

void BridgeDevice::SetOpenGuard(std::shared_ptr<OpenGuard> guard) {
  std::lock_guard<std::mutex> lock(mutex_);
  openGuard_ = std::move(guard);
}

void BridgeDevice::SetEepromWritesStick(bool stick) {
  std::lock_guard<std::mutex> lock(mutex_);
  eeprom_.SetWritesStick(stick);
}

std::vector<DeviceRequest> BridgeDevice::Requests() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return log_;
}

void BridgeDevice::ClearRequests() {
  std::lock_guard<std::mutex> lock(logMutex_);
  log_.clear();
}

BridgeLineState BridgeDevice::LineState() const {
  BridgeLineState state;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state = line_;
  }
  const devside::SerialTimeouts t = channel_.Timeouts();
  state.readIntervalTimeout = t.readInterval;
  state.readTotalMultiplier = t.readMultiplier;
  state.readTotalConstant = t.readConstant;
  state.writeTotalMultiplier = t.writeMultiplier;
  state.writeTotalConstant = t.writeConstant;
  state.waitMask = channel_.WaitMask();
  state.stopped = channel_.Stopped();
  return state;
}

std::vector<uint16_t> BridgeDevice::EepromWords() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eeprom_.Words();
}

}  // namespace ralvex::sim

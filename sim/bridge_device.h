// A simulated USB-serial bridge device: the driver object behind one device node of the POSIX
// device tree. It answers the bus driver's request codes with the payloads the access layer
// expects (identity, device information, line settings, time-outs, modem lines, queues, events,
// EEPROM words, vendor registers, resets), moves serial bytes between the host's reads and
// writes and a wired SerialPeer, and models the faults a bench can ask for.
//
// I/O model: writes hand their bytes to the peer and complete at once (after the wire time when
// the wire model is on). Bytes from the peer land in a bounded receive queue; a read completes
// when its count has arrived, when its time-out expires (with what arrived: a success), when it
// is cancelled, or when the device goes away. Reads that must wait are finished by the device's
// own timer thread, which sleeps while nothing is due.
//
// Leaving the bus: a port cycle, an unplug and a restart end every file opened before them: their
// pending I/O completes with STATUS_DEVICE_NOT_CONNECTED and later requests fail with
// ERROR_DEVICE_NOT_CONNECTED, as the handle of a device that re-enumerated does. A new Open after
// the device is back works. A port reset (slot 106) and a device reset (slot 1) keep the files.
//
// Open files share the device (it is always owned by a std::shared_ptr, as the bench holds it), so
// a handle left open after the bench went down still reaches live state.
//
// Locks: `mutex_` guards the device state; the channel and the request log have their own, and
// `peerMutex_` guards the peer and serialises deliveries to it. `mutex_` is never held while
// taking `peerMutex_` or calling into the channel in a way that can complete requests, and the
// node's presence is changed with only `presenceMutex_` held.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devside/request_rows.h"
#include "platform/posix/devices.h"
#include "sim/chip_family.h"
#include "sim/device_config.h"
#include "sim/eeprom_memory.h"
#include "sim/peer.h"
#include "sim/serial_channel.h"

namespace ralvex::sim {

// Sizes the receive queue and the vendor register space are built with.
inline constexpr size_t RECEIVE_QUEUE_CAPACITY = 64 * 1024;
inline constexpr size_t VENDOR_REGISTER_BYTES = 512;

struct DeviceRequest {
  uint32_t code = 0;
  std::vector<uint8_t> input;
  uint32_t outputLength = 0;
  uint32_t error = 0;  // the Win32 error it answered (0: accepted)
};

// Line and chip settings the requests change, as a snapshot for tests.
struct BridgeLineState {
  uint32_t baudRate = 9600;
  uint16_t divisor = 0;
  uint8_t wordLength = 8;
  uint8_t stopBits = 0;      // 0: one, 1: one and a half, 2: two
  uint8_t parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint16_t flowControl = 0;  // 0x0100 RTS/CTS, 0x0200 DTR/DSR, 0x0400 XON/XOFF
  uint8_t xonChar = 0x11;
  uint8_t xoffChar = 0x13;
  uint8_t eventChar = 0;
  uint8_t eventCharEnabled = 0;
  uint8_t errorChar = 0;
  uint8_t errorCharEnabled = 0;
  bool dtr = false;
  bool rts = false;
  bool breakOn = false;
  uint8_t latencyTimer = 16;
  uint8_t bitMask = 0;
  uint8_t bitMode = 0;
  uint32_t usbInSize = 4096;
  uint32_t usbOutSize = 4096;
  uint32_t deadmanTimeout = 5000;
  uint32_t pipeRetryCount = 50;
  // COMMTIMEOUTS in its field order.
  uint32_t readIntervalTimeout = 0;
  uint32_t readTotalMultiplier = 0;
  uint32_t readTotalConstant = 0;
  uint32_t writeTotalMultiplier = 0;
  uint32_t writeTotalConstant = 0;
  uint32_t waitMask = 0;
  uint32_t notifyHandle = 0;
  uint32_t notifyMask = 0;
  uint32_t notifyParam = 0;
  bool stopped = false;  // stop in-task: received bytes wait in the queue
  bool idle = false;
};

class BridgeFile;

// Another party that must agree before the device opens: other processes on the same bench. Held
// from the first open of a session until its last file closes or the session ends.
class OpenGuard {
 public:
  virtual ~OpenGuard() = default;
  // False: someone else has the device open (the open is refused as for a device held open).
  virtual bool Acquire() = 0;
  virtual void Release() = 0;
};

class BridgeDevice final : public posix::DeviceDriver,
                           public std::enable_shared_from_this<BridgeDevice> {
 public:
  // Build it with std::make_shared: an Open of a device no shared_ptr owns is refused
  // (ERROR_GEN_FAILURE), since its files could outlive it.
  explicit BridgeDevice(BridgeDeviceConfig config);
  ~BridgeDevice() override;
  BridgeDevice(const BridgeDevice&) = delete;
  BridgeDevice& operator=(const BridgeDevice&) = delete;

  // posix::DeviceDriver. Open: ERROR_ACCESS_DENIED while held open or already open (the port is
  // exclusive whatever the share mode), ERROR_FILE_NOT_FOUND while gone.
  uint32_t Open(bool exclusive, std::unique_ptr<posix::DeviceFile>* file) override;
  // The property-change restart: the device comes back with its line state reset; files opened
  // before fail from then on.
  uint32_t Restart(bool* needsReboot) override;
  // A re-enumeration of its node or its hub: a device that left through a port cycle comes back
  // (present again). An unplugged device stays away.
  void Reenumerate() override;

  // The config with every default resolved.
  const BridgeDeviceConfig& Config() const { return config_; }
  uint16_t ProductId() const { return *config_.pid; }
  const std::string& Description() const { return *config_.description; }
  bool HighSpeed() const { return *config_.highSpeed; }
  uint32_t EepromWordCount() const { return *config_.eepromWords; }

  // Wires `peer` to the serial side (null unwires); the old peer is detached first.
  void SetPeer(std::shared_ptr<SerialPeer> peer);
  std::shared_ptr<SerialPeer> Peer() const;

  // The device node the USB tree gave it (0 until plugged). Leaving and coming back mark that
  // node through posix::SetDeviceNodePresent.
  void SetDevInst(DEVINST node);
  DEVINST DevInst() const;
  // Gone until the next re-enumeration (after a port cycle).
  bool Cycled() const;
  // Neither cycled nor unplugged.
  bool Present() const;
  // Whether a file of the current session is open.
  bool IsOpen() const;

  // Faults at run time.
  void Unplug();  // leaves now; I/O fails from then on
  void Replug();  // back (files of before stay dead)
  void SetHeldOpen(bool held);
  // Consulted at every open from then on (null: none).
  void SetOpenGuard(std::shared_ptr<OpenGuard> guard);
  void FailReads(uint32_t count) { channel_.FailReads(count); }  // EVERY_READ: all
  void SetEepromWritesStick(bool stick);

  // Every request received since construction or the last ClearRequests, in order.
  std::vector<DeviceRequest> Requests() const;
  void ClearRequests();

  // State inspection.
  BridgeLineState LineState() const;
  std::vector<uint16_t> EepromWords() const;  // EepromWordCount() words
  size_t ReceiveQueueSize() const { return channel_.ReceiveCount(); }

  // Bytes as if the peer had sent them (what a test uses without a peer).
  void InjectFromPeer(const uint8_t* data, size_t length) { channel_.SendToHost(data, length); }

 private:
  friend class BridgeFile;
  enum Leaving : uint8_t { LEAVE_CYCLE, LEAVE_UNPLUG, LEAVE_RESTART };

  // One driver request on its way through a handler: the device side's call, plus the file and
  // session it came from.
  struct RequestCall : devside::RequestCall {
    uint64_t file = 0;
    uint64_t session = 0;
    bool cyclePort = false;  // leave the bus once the request is answered
  };
  using RequestRow = devside::RequestRow<BridgeDevice, RequestCall>;
  using RequestDispatcher = devside::RequestDispatcher<BridgeDevice, RequestCall>;
  static const RequestRow REQUEST_ROWS[];
  static const RequestDispatcher& Dispatcher();
  friend bool IsValidRequestSlot(uint32_t slot);

  // What an open file of `session` asks (device_requests.cpp).
  uint32_t Control(uint64_t file, uint64_t session, uint32_t code, const void* in,
                   uint32_t inLength, void* out, uint32_t outLength, uint32_t* returned);
  // Whether a request for a served `slot` from `session` goes on to its row: a refused slot is
  // ERROR_INVALID_FUNCTION, a file of an ended session ERROR_DEVICE_NOT_CONNECTED.
  uint32_t Admit(uint32_t slot, uint64_t session) const;
  void CloseFile(uint64_t file, uint64_t session);

  // Ends the session (files of before die), resets the line; LEAVE_CYCLE and LEAVE_UNPLUG also
  // take the node out of the tree.
  void Leave(Leaving why);
  void ResetLineLocked();
  void ResetChannelSettings();
  void DeliverToPeer(const uint8_t* data, size_t length);
  uint32_t ModemStatus() const;
  uint32_t MaxBaud() const { return *config_.highSpeed ? 12'000'000 : 3'000'000; }
  // The USB packet size, status bytes included: what the packet-size request answers.
  uint16_t PacketSize() const {
    return *config_.highSpeed ? HIGH_SPEED_PACKET_BYTES : FULL_SPEED_PACKET_BYTES;
  }
  // Runs `change` on the line state under the device lock.
  template <typename Change>
  void ChangeLine(Change change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(line_);
  }

  // Handlers with more than a line or two of work (device_requests.cpp).
  uint32_t ResetChip();
  uint32_t SetBaudRate(uint32_t baud, std::optional<uint16_t> divisor);
  uint32_t SetLatencyTimer(uint8_t latency);
  uint32_t SetTimeouts(std::span<const uint8_t> in);
  uint32_t QueryText(RequestCall& call);
  uint32_t DeviceInfo(RequestCall& call);
  uint32_t EepromRequest(RequestCall& call);
  uint32_t VendorRequest(RequestCall& call);
  uint32_t WaitForEvent(RequestCall& call);
  uint32_t SetCommState(const uint8_t* dcb);
  void GetCommState(uint8_t* dcb) const;

  const BridgeDeviceConfig config_;  // defaults resolved
  std::vector<bool> refused_;        // by slot

  mutable std::mutex mutex_;
  bool heldOpen_ = false;
  bool cycled_ = false;
  bool unplugged_ = false;
  DEVINST devInst_ = 0;
  uint64_t session_ = 1;
  uint32_t openFiles_ = 0;  // of the current session
  std::shared_ptr<OpenGuard> openGuard_;
  uint64_t nextFile_ = 1;
  BridgeLineState line_;
  uint16_t xonLimit_ = 0;
  uint16_t xoffLimit_ = 0;
  uint8_t eofChar_ = 0;
  uint32_t dcbOtherFlags_ = 0;  // DCB flag bits that no other setting carries
  EepromMemory eeprom_;
  std::array<uint8_t, VENDOR_REGISTER_BYTES> vendor_{};

  mutable std::mutex peerMutex_;
  // Held by Leave, Reenumerate, Replug and SetDevInst from deciding on the node's presence to
  // marking it, so that a port cycle racing a rescan cannot leave a device whose flags say
  // present and whose node says gone. Taken before `mutex_`; the platform's tree lock, taken
  // inside, never calls back into the device.
  std::mutex presenceMutex_;
  std::shared_ptr<SerialPeer> peer_;
  std::atomic<bool> peerWired_{false};

  mutable std::mutex logMutex_;
  std::vector<DeviceRequest> log_;

  SerialChannel channel_;
};

}  // namespace ralvex::sim

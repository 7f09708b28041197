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
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/devices.h"
#include "sim/chip_family.h"
#include "sim/peer.h"

namespace ralvex::sim {

// Request codes: the primary table uses 0x00220000 + 4 * slot, the alternate 0x00222000 + 4 * slot.
inline constexpr uint32_t PRIMARY_REQUEST_BASE = 0x00220000;
inline constexpr uint32_t ALTERNATE_REQUEST_BASE = 0x00222000;
inline constexpr uint32_t REQUEST_SLOT_COUNT = 126;

constexpr uint32_t PrimaryRequestCode(uint32_t slot) {
  return PRIMARY_REQUEST_BASE + 4 * slot;
}
constexpr uint32_t AlternateRequestCode(uint32_t slot) {
  return ALTERNATE_REQUEST_BASE + 4 * slot;
}
// Slots the driver serves: 0-3, 16, 32-41, 65, 67-69, 71-74, 76, 77, 81-83, 86, 87, 89-124.
bool IsValidRequestSlot(uint32_t slot);

// Sizes the receive queue and the vendor register space are built with.
inline constexpr size_t RECEIVE_QUEUE_CAPACITY = 64 * 1024;
inline constexpr size_t VENDOR_REGISTER_BYTES = 512;

// A plain description of one device; the bench file's keys carry the same names.
struct BridgeDeviceConfig {
  std::string serial;                      // at most 15 characters
  std::optional<std::string> description;  // at most 63 characters; default per chip family
  ChipFamily chip = ChipFamily::k232R;
  uint16_t vid = 0x0403;
  std::optional<uint16_t> pid;           // default per chip family
  std::optional<uint32_t> location;      // unset: the USB tree gives the port's location
  std::optional<bool> high_speed;        // default per chip family (packet size 512 instead of 64)
  bool held_open = false;                // another program holds it: every Open is refused
  bool alternate_requests = false;       // answers only the alternate request table
  std::vector<uint32_t> refuse;          // slots refused although valid
  std::optional<uint32_t> eeprom_words;  // 0, 64, 128, 256 or 1024; default per chip family
  std::vector<uint16_t> eeprom;          // initial EEPROM words from word 0; the rest reads 0xFFFF
  uint32_t com_port = 0;                 // COM port number; 0 = none
  uint32_t driver_version = 0x00021808;
  uint32_t extra = 0;       // device-information offset 12
  bool wire_model = false;  // delay bytes by their time on the wire

  // Faults.
  uint32_t read_failures = 0;                  // this many reads fail (EVERY_READ: all of them)
  bool unplugged = false;                      // not present from the start
  std::optional<uint64_t> unplug_after_bytes;  // leaves once this many bytes have moved
  bool eeprom_writes_stick = true;             // false: word and configuration writes are dropped
  bool restart_needs_reboot = false;           // a restart reports that it needs a reboot
  bool restart_fails = false;                  // a restart is refused
};

inline constexpr uint32_t EVERY_READ = 0xFFFFFFFF;

// Checks limits a config must keep (string lengths, EEPROM size, initial image size, refused
// slots). Returns false with one line in *error naming the field; the device itself clamps
// what it is given, so an unchecked config is safe, only surprising.
bool ValidateBridgeDeviceConfig(const BridgeDeviceConfig& config, std::string* error);

// One request the device received.
struct DeviceRequest {
  uint32_t code = 0;
  std::vector<uint8_t> input;
  uint32_t output_length = 0;
  uint32_t error = 0;  // the Win32 error it answered (0: accepted)
};

// Line and chip settings the requests change, as a snapshot for tests.
struct BridgeLineState {
  uint32_t baud_rate = 9600;
  uint16_t divisor = 0;
  uint8_t word_length = 8;
  uint8_t stop_bits = 0;      // 0: one, 1: one and a half, 2: two
  uint8_t parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint16_t flow_control = 0;  // 0x0100 RTS/CTS, 0x0200 DTR/DSR, 0x0400 XON/XOFF
  uint8_t xon_char = 0x11;
  uint8_t xoff_char = 0x13;
  uint8_t event_char = 0;
  uint8_t event_char_enabled = 0;
  uint8_t error_char = 0;
  uint8_t error_char_enabled = 0;
  bool dtr = false;
  bool rts = false;
  bool break_on = false;
  uint8_t latency_timer = 16;
  uint8_t bit_mask = 0;
  uint8_t bit_mode = 0;
  uint32_t usb_in_size = 4096;
  uint32_t usb_out_size = 4096;
  uint32_t deadman_timeout = 5000;
  uint32_t pipe_retry_count = 50;
  // COMMTIMEOUTS in its field order.
  uint32_t read_interval_timeout = 0;
  uint32_t read_total_multiplier = 0;
  uint32_t read_total_constant = 0;
  uint32_t write_total_multiplier = 0;
  uint32_t write_total_constant = 0;
  uint32_t wait_mask = 0;
  uint32_t notify_handle = 0;
  uint32_t notify_mask = 0;
  uint32_t notify_param = 0;
  bool stopped = false;  // stop in-task: received bytes wait in the queue
  bool idle = false;
};

class BridgeDevice final : public posix::DeviceDriver {
 public:
  explicit BridgeDevice(BridgeDeviceConfig config);
  ~BridgeDevice() override;
  BridgeDevice(const BridgeDevice&) = delete;
  BridgeDevice& operator=(const BridgeDevice&) = delete;

  // posix::DeviceDriver. Open: ERROR_ACCESS_DENIED while held open or already open exclusively
  // (or opened at all, for an exclusive open), ERROR_FILE_NOT_FOUND while gone.
  uint32_t Open(bool exclusive, std::unique_ptr<posix::DeviceFile>* file) override;
  // The property-change restart: the device comes back with its line state reset; files opened
  // before fail from then on.
  uint32_t Restart(bool* needs_reboot) override;
  // A re-enumeration of its node or its hub: a device that left through a port cycle comes back
  // (present again). An unplugged device stays away.
  void Reenumerate() override;

  // The config with every default resolved.
  const BridgeDeviceConfig& Config() const;
  uint16_t ProductId() const;
  const std::string& Description() const;
  bool HighSpeed() const;
  uint32_t EepromWordCount() const;

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
  void FailReads(uint32_t count);  // the next `count` reads fail (EVERY_READ: all)
  void SetEepromWritesStick(bool stick);

  // Every request received since construction or the last ClearRequests, in order.
  std::vector<DeviceRequest> Requests() const;
  void ClearRequests();

  // State inspection.
  BridgeLineState LineState() const;
  std::vector<uint16_t> EepromWords() const;  // EepromWordCount() words
  size_t ReceiveQueueSize() const;

  // Bytes as if the peer had sent them (what a test uses without a peer).
  void InjectFromPeer(const uint8_t* data, size_t length);

  class Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace ralvex::sim

// Inside of BridgeDevice, shared by bridge_device.cpp (life cycle, files, peer) and
// device_requests.cpp (the request handlers). Open files hold the Impl, so it outlives the
// device node that dropped it.
//
// Locks: `mutex_` guards the device state; the channel and the request log have their own, and
// `peer_mutex_` guards the peer and serialises deliveries to it. `mutex_` is never held while
// taking `peer_mutex_` or calling into the channel in a way that can complete requests, and the
// node's presence is changed with no lock held.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/bridge_device.h"
#include "sim/eeprom_memory.h"
#include "sim/serial_channel.h"

namespace ralvex::sim {

class BridgeDevice::Impl : public std::enable_shared_from_this<BridgeDevice::Impl> {
 public:
  explicit Impl(BridgeDeviceConfig config);
  ~Impl();

  uint32_t Open(std::unique_ptr<posix::DeviceFile>* file);
  uint32_t Restart(bool* needs_reboot);
  void Reenumerate();

  // Requests of a file opened in `session`.
  uint32_t Control(uint64_t file, uint64_t session, uint32_t code, const void* in,
                   uint32_t in_length, void* out, uint32_t out_length, uint32_t* returned);
  void CloseFile(uint64_t file, uint64_t session);

  void SetPeer(std::shared_ptr<SerialPeer> peer);
  std::shared_ptr<SerialPeer> Peer() const;
  void SetDevInst(DEVINST node);
  DEVINST DevInst() const;
  bool Cycled() const;
  bool Present() const;
  bool IsOpen() const;
  void Unplug();
  void Replug();
  void SetHeldOpen(bool held);
  void SetEepromWritesStick(bool stick);

  std::vector<DeviceRequest> Requests() const;
  void ClearRequests();
  BridgeLineState LineState() const;
  std::vector<uint16_t> EepromWords() const;

  const BridgeDeviceConfig& config() const { return config_; }
  SerialChannel& channel() { return channel_; }

 private:
  enum class Leaving { kCycle, kUnplug, kRestart };

  // Ends the session (files of before die), resets the line; kCycle and kUnplug also take the
  // node out of the tree.
  void Leave(Leaving why);
  void ResetLineLocked();
  void ResetChannelSettings();
  void DeliverToPeer(const uint8_t* data, size_t length);
  uint32_t ModemStatus() const;
  uint32_t MaxBaud() const { return config_.high_speed.value_or(false) ? 12'000'000 : 3'000'000; }

  // Request handlers (device_requests.cpp). `slot` is valid and not refused.
  uint32_t Handle(uint64_t file, uint64_t session, uint32_t slot, const uint8_t* in,
                  uint32_t in_length, uint8_t* out, uint32_t out_length, uint32_t* returned,
                  bool* cycle);
  uint32_t HandleIdentity(uint32_t slot, uint8_t* out, uint32_t out_length, uint32_t* returned);
  uint32_t HandleEeprom(uint32_t slot, const uint8_t* in, uint32_t in_length, uint8_t* out,
                        uint32_t out_length, uint32_t* returned);
  uint32_t HandleVendor(uint32_t slot, const uint8_t* in, uint32_t in_length, uint8_t* out,
                        uint32_t out_length, uint32_t* returned);
  uint32_t SetCommState(const uint8_t* dcb);
  void GetCommState(uint8_t* dcb) const;

  const BridgeDeviceConfig config_;  // defaults resolved
  std::vector<bool> refused_;        // by slot

  mutable std::mutex mutex_;
  bool held_open_ = false;
  bool cycled_ = false;
  bool unplugged_ = false;
  DEVINST devinst_ = 0;
  uint64_t session_ = 1;
  uint32_t open_files_ = 0;  // of the current session
  uint64_t next_file_ = 1;
  BridgeLineState line_;
  uint16_t xon_limit_ = 0;
  uint16_t xoff_limit_ = 0;
  uint8_t eof_char_ = 0;
  uint32_t dcb_other_flags_ = 0;  // DCB flag bits that no other setting carries
  EepromMemory eeprom_;
  std::array<uint8_t, VENDOR_REGISTER_BYTES> vendor_{};

  mutable std::mutex peer_mutex_;
  std::shared_ptr<SerialPeer> peer_;
  std::atomic<bool> peer_wired_{false};

  mutable std::mutex log_mutex_;
  std::vector<DeviceRequest> log_;

  SerialChannel channel_;
};

}  // namespace ralvex::sim

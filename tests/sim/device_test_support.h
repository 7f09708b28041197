// Helpers of the simulated-device suites: a read/write request the tests can wait on, and a
// request call that returns what the device answered.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/devices.h"
#include "sim/bridge_device.h"

namespace ralvex::sim::testing {

using devside::PrimaryRequestCode;

class TestIo final : public posix::IoRequest {
 public:
  explicit TestIo(size_t length) : buffer_(length, 0) {}
  explicit TestIo(std::vector<uint8_t> bytes) : buffer_(std::move(bytes)) {}
  explicit TestIo(const std::string& text) : buffer_(text.begin(), text.end()) {}
  ~TestIo() = default;

  uint8_t* Buffer() override { return buffer_.data(); }
  uint32_t Length() const override { return static_cast<uint32_t>(buffer_.size()); }
  void Complete(uint32_t status, uint32_t count) override {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
    count_ = count;
    ++completions_;
    done_.notify_all();
  }

  bool WaitDone(uint32_t timeoutMs = 2000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return completions_ > 0; });
  }
  bool Done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return completions_ > 0;
  }
  int Completions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return completions_;
  }
  uint32_t Status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
  }
  uint32_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  std::string Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::string(buffer_.begin(), buffer_.begin() + count_);
  }

 private:
  std::vector<uint8_t> buffer_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  uint32_t status_ = 0;
  uint32_t count_ = 0;
  int completions_ = 0;
};

struct Reply {
  uint32_t error = 0;
  uint32_t returned = 0;
  std::vector<uint8_t> out;
};

inline Reply Call(posix::DeviceFile& file, uint32_t code, const std::vector<uint8_t>& in,
                  uint32_t outLength) {
  Reply reply;
  reply.out.assign(outLength, 0);
  reply.error =
      file.Control(code, in.empty() ? nullptr : in.data(), static_cast<uint32_t>(in.size()),
                   outLength == 0 ? nullptr : reply.out.data(), outLength, &reply.returned);
  return reply;
}

inline Reply CallSlot(posix::DeviceFile& file, uint32_t slot, const std::vector<uint8_t>& in = {},
                      uint32_t outLength = 0) {
  return Call(file, PrimaryRequestCode(slot), in, outLength);
}

inline std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

inline uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t{bytes[offset]} | (uint32_t{bytes[offset + 1]} << 8) |
         (uint32_t{bytes[offset + 2]} << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

inline uint16_t ReadLe16(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::unique_ptr<posix::DeviceFile> OpenOrDie(BridgeDevice& device) {
  std::unique_ptr<posix::DeviceFile> file;
  if (device.Open(true, &file) != 0) return nullptr;
  return file;
}

inline BridgeDeviceConfig MakeConfig(ChipFamily chip = CHIP_232R, std::string serial = "KORA0001") {
  BridgeDeviceConfig config;
  config.chip = chip;
  config.serial = std::move(serial);
  return config;
}

}  // namespace ralvex::sim::testing

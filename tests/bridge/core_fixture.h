// Shared pieces of the access-layer core suites: a bench per test, handles that are closed when
// the test ends, request-log helpers and a scripted stand-in driver for replies no simulated
// device gives (malformed strings, driver status words).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/handle_record.h"
#include "platform/posix/devices.h"
#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/usb_tree.h"

namespace ralvex::bridge::testing {

inline sim::BridgeDeviceConfig DeviceConfig(std::string serial,
                                            sim::ChipFamily chip = sim::CHIP_232R) {
  sim::BridgeDeviceConfig config;
  config.serial = std::move(serial);
  config.chip = chip;
  return config;
}

inline std::vector<uint32_t> Codes(const sim::BridgeDevice& device) {
  std::vector<uint32_t> codes;
  for (const sim::DeviceRequest& request : device.Requests()) codes.push_back(request.code);
  return codes;
}

// The requests every open sends: device information, then packet size.
inline std::vector<uint32_t> OpenCodes() {
  return {0x00220198u, 0x002201C4u};
}

inline std::vector<uint32_t> Concat(std::vector<uint32_t> a, const std::vector<uint32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class BenchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (FT_HANDLE handle : opened_) FT_Close(handle);
    EXPECT_EQ(OpenHandleCount(), 0u) << "a test left a handle open";
  }

  // Handles a test keeps are closed at its end (closing twice is harmless).
  FT_HANDLE Keep(FT_HANDLE handle) {
    opened_.push_back(handle);
    return handle;
  }

  FT_HANDLE OpenIndex(int index) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(index, &handle), FT_OK);
    return Keep(handle);
  }

  void ClearLogs() {
    for (size_t i = 0; i < bench_.DeviceCount(); ++i) bench_.Device(i).ClearRequests();
  }

  sim::Bench bench_;
  std::vector<FT_HANDLE> opened_;
};

// A device file whose control replies a test scripts.
using ControlScript = std::function<uint32_t(uint32_t code, const void* in, uint32_t inLength,
                                             void* out, uint32_t outLength, uint32_t* returned)>;

class ScriptedDriver final : public posix::DeviceDriver {
 public:
  explicit ScriptedDriver(ControlScript script) : script_(std::move(script)) {}

  uint32_t Open(bool, std::unique_ptr<posix::DeviceFile>* file) override {
    *file = std::make_unique<File>(script_);
    return 0;
  }
  uint32_t Restart(bool* needsReboot) override {
    *needsReboot = false;
    ++restarts;
    return 0;
  }

  int restarts = 0;

 private:
  class File final : public posix::DeviceFile {
   public:
    explicit File(ControlScript script) : script_(std::move(script)) {}
    uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out,
                     uint32_t outLength, uint32_t* returned) override {
      *returned = 0;
      return script_(code, in, inLength, out, outLength, returned);
    }
    void StartRead(posix::IoRequest& request) override { request.Complete(0, 0); }
    void StartWrite(posix::IoRequest& request) override { request.Complete(0, request.Length()); }
    void Cancel(posix::IoRequest&) override {}
    void Close() override {}

   private:
    ControlScript script_;
  };

  ControlScript script_;
};

// Plugs a node with a bridge interface answered by `driver` (after the bench's devices).
inline DEVINST PlugScripted(const std::string& name, std::shared_ptr<posix::DeviceDriver> driver,
                            std::vector<std::string> hardwareIds = {}) {
  posix::DeviceNodeInfo info;
  info.instanceId = "USB\\VID_0403&PID_6001\\" + name;
  info.setupClass = "USB";
  info.setupClassGuid = sim::USB_SETUP_CLASS_GUID;
  info.hardwareIds = std::move(hardwareIds);
  info.interfaces.push_back(
      {sim::BRIDGE_INTERFACE_GUID,
       "\\\\?\\usb#vid_0403&pid_6001#" + name + "#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}"});
  info.driver = std::move(driver);
  return posix::AddDeviceNode(std::move(info));
}

}  // namespace ralvex::bridge::testing

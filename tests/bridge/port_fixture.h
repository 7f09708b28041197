// A bench with one simulated bridge device, opened with FT_Open, whose request log the port and
// transfer tests read.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"

namespace ralvex::port_test {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t PRIMARY_BASE = 0x00220000;
inline constexpr uint32_t ALTERNATE_BASE = 0x00222000;

inline sim::BridgeDeviceConfig DeviceConfig(const char* serial = "PORT0001") {
  sim::BridgeDeviceConfig config;
  config.serial = serial;
  return config;
}

class OpenDeviceTest : public ::testing::Test {
 protected:
  // Plugs the device (with `peer` on its serial side), opens it and forgets the requests of the
  // open, so that each test sees only what it sent.
  void Plug(const sim::BridgeDeviceConfig& config,
            std::shared_ptr<sim::SerialPeer> peer = nullptr) {
    device_ = &bench_.AddDevice(config, std::move(peer));
    ASSERT_EQ(FT_Open(0, &handle_), FT_OK);
    device_->ClearRequests();
  }

  void SetUp() override { Plug(DeviceConfig()); }

  void TearDown() override {
    if (handle_ != nullptr) {
      FT_Close(handle_);
    }
  }

  // Closes the handle and keeps its value: what a caller holding a stale handle has.
  FT_HANDLE CloseAndKeep() {
    FT_HANDLE stale = handle_;
    EXPECT_EQ(FT_Close(handle_), FT_OK);
    handle_ = nullptr;
    device_->ClearRequests();
    return stale;
  }

  std::vector<sim::DeviceRequest> Sent() const { return device_->Requests(); }

  // The one request sent since the last clear; fails the test when there is not exactly one.
  sim::DeviceRequest Only() const {
    const auto requests = device_->Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? sim::DeviceRequest{} : requests.back();
  }

  sim::Bench bench_;
  sim::BridgeDevice* device_ = nullptr;
  FT_HANDLE handle_ = nullptr;
};

}  // namespace ralvex::port_test

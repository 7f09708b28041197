// Opens, closes and list operations from several threads at once: the handle list and the
// device-information list stay consistent and nothing is left open.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/bridge/core_fixture.h"

namespace ralvex::bridge::testing {
namespace {

class OpenConcurrency : public BenchTest {
 protected:
  static constexpr int DEVICES = 4;
  static constexpr int ROUNDS = 40;

  void SetUp() override {
    for (int i = 0; i < DEVICES; ++i) bench_.AddDevice(DeviceConfig("CONC" + std::to_string(i)));
  }

  std::atomic<int> failures_{0};

  void Expect(bool ok) {
    if (!ok) failures_.fetch_add(1);
  }
};

TEST_F(OpenConcurrency, OpensClosesAndListingsFromSeveralThreads) {
  std::vector<std::thread> threads;
  // One opener per device, by index and by serial number in turn: always its own device, so
  // every open must succeed unless a listing holds the device for a moment.
  for (int device = 0; device < DEVICES; ++device) {
    threads.emplace_back([this, device] {
      const std::string serial = "CONC" + std::to_string(device);
      for (int round = 0; round < ROUNDS; ++round) {
        FT_HANDLE handle = nullptr;
        const FT_STATUS status = round % 2 == 0 ? FT_Open(device, &handle)
                                                : FT_OpenEx(const_cast<char*>(serial.c_str()),
                                                            FT_OPEN_BY_SERIAL_NUMBER, &handle);
        if (status != FT_OK) {
          // A listing thread had it open just then.
          Expect(status == FT_DEVICE_NOT_OPENED || status == FT_DEVICE_NOT_FOUND);
          continue;
        }
        char serialOut[16] = {};
        Expect(FT_GetDeviceInfo(handle, nullptr, nullptr, serialOut, nullptr, nullptr) == FT_OK);
        Expect(serial == serialOut);
        Expect(FT_Close(handle) == FT_OK);
      }
    });
  }
  threads.emplace_back([this] {
    for (int round = 0; round < ROUNDS; ++round) {
      DWORD count = 0;
      Expect(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK);
      Expect(count == DEVICES);
      char buffers[DEVICES][64];
      char* entries[DEVICES];
      for (int i = 0; i < DEVICES; ++i) entries[i] = buffers[i];
      const FT_STATUS status = FT_ListDevices(entries, &count, FT_LIST_ALL);
      Expect(status == FT_OK);
    }
  });
  threads.emplace_back([this] {
    for (int round = 0; round < ROUNDS; ++round) {
      DWORD count = 0;
      Expect(FT_CreateDeviceInfoList(&count) == FT_OK);
      Expect(count == DEVICES);
      FT_DEVICE_LIST_INFO_NODE nodes[DEVICES];
      DWORD copied = 0;
      Expect(FT_GetDeviceInfoList(nodes, &copied) == FT_OK);
      for (DWORD i = 0; i < copied; ++i) {
        DWORD flags = 0;
        Expect(FT_GetDeviceInfoDetail(i, &flags, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr) == FT_OK);
      }
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures_.load(), 0);
  EXPECT_EQ(OpenHandleCount(), 0u);
  for (int i = 0; i < DEVICES; ++i) EXPECT_FALSE(bench_.Device(i).IsOpen());
}

TEST_F(OpenConcurrency, LookupsRunWhileOtherHandlesOpenAndClose) {
  FT_HANDLE steady = OpenIndex(0);
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      FT_HANDLE handle = nullptr;
      if (FT_Open(1, &handle) == FT_OK) FT_Close(handle);
    }
  });
  for (int round = 0; round < 200; ++round) {
    DWORD version = 0;
    Expect(FT_GetDriverVersion(steady, &version) == FT_OK);
    Expect(FT_ResetDevice(steady) == FT_OK);
  }
  stop.store(true);
  churn.join();
  EXPECT_EQ(failures_.load(), 0);
}

}  // namespace
}  // namespace ralvex::bridge::testing

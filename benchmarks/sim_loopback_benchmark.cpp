// The simulated bridge device through the platform's file calls: the round trip of one byte over
// a loopback plug, and what a thread blocked in a long read time-out costs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

#include "devside/request_slots.h"
#include "platform/posix/devices.h"
#include "platform/win32.h"
#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"
#include "sim/usb_tree.h"

namespace {

using ralvex::sim::BridgeDevice;
using ralvex::sim::BridgeDeviceConfig;

constexpr char DEVICE_PATH[] =
    "\\\\?\\usb#vid_0403&pid_6001#loopbench#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}";

// One device in the tree, opened for overlapped I/O, for the length of a benchmark.
struct Rig {
  explicit Rig(bool loopback) {
    BridgeDeviceConfig config;
    config.serial = "LOOPBENCH";
    device = std::make_shared<BridgeDevice>(config);
    if (loopback) device->SetPeer(std::make_shared<ralvex::sim::LoopbackPeer>());
    ralvex::posix::DeviceNodeInfo node;
    node.instanceId = "USB\\VID_0403&PID_6001\\LOOPBENCH";
    node.setupClass = "USB";
    node.interfaces.push_back({ralvex::sim::BRIDGE_INTERFACE_GUID, DEVICE_PATH});
    node.driver = device;
    devinst = ralvex::posix::AddDeviceNode(node);
    handle = CreateFileA(DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~Rig() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (event != nullptr) CloseHandle(event);
    ralvex::posix::RemoveDeviceNode(devinst);
  }
  bool ok() const { return handle != INVALID_HANDLE_VALUE && event != nullptr; }
  void SetReadTimeout(uint32_t ms) {
    uint32_t in[2] = {ms, ms};
    DWORD returned = 0;
    DeviceIoControl(handle, ralvex::devside::PrimaryRequestCode(71), in, sizeof in, nullptr, 0,
                    &returned, nullptr);
  }

  std::shared_ptr<BridgeDevice> device;
  DEVINST devinst = 0;
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE event = nullptr;
};

// CPU time of the whole process, every thread included.
double ProcessCpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Write one byte, let the loopback echo it, and wait for the overlapped read of it.
void BM_LoopbackOneByteRoundTrip(benchmark::State& state) {
  Rig rig(true);
  if (!rig.ok()) {
    state.SkipWithError("device could not be opened");
    return;
  }
  rig.SetReadTimeout(1000);
  uint8_t out = 0x5A;
  uint8_t in = 0;
  for (auto _ : state) {
    OVERLAPPED read = {};
    read.hEvent = rig.event;
    DWORD count = 0;
    ResetEvent(rig.event);
    ReadFile(rig.handle, &in, 1, &count, &read);
    OVERLAPPED write = {};
    WriteFile(rig.handle, &out, 1, &count, &write);
    GetOverlappedResult(rig.handle, &write, &count, TRUE);
    WaitForSingleObject(rig.event, INFINITE);
    if (!GetOverlappedResult(rig.handle, &read, &count, FALSE) || count != 1) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(in);
  }
}
BENCHMARK(BM_LoopbackOneByteRoundTrip)->UseRealTime();

// A read that waits out a 2 s time-out with nothing arriving: the CPU the process spends
// meanwhile, as a share of the wall time.
void BM_IdleReadTimeoutCpu(benchmark::State& state) {
  Rig rig(false);
  if (!rig.ok()) {
    state.SkipWithError("device could not be opened");
    return;
  }
  rig.SetReadTimeout(2000);
  double cpuShare = 0;
  for (auto _ : state) {
    uint8_t in = 0;
    OVERLAPPED read = {};
    read.hEvent = rig.event;
    DWORD count = 0;
    ResetEvent(rig.event);
    double cpuBefore = ProcessCpuSeconds();
    auto wallBefore = std::chrono::steady_clock::now();
    ReadFile(rig.handle, &in, 1, &count, &read);
    WaitForSingleObject(rig.event, INFINITE);
    double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    cpuShare = (ProcessCpuSeconds() - cpuBefore) / wall * 100.0;
    GetOverlappedResult(rig.handle, &read, &count, FALSE);
  }
  state.counters["cpu_percent"] = cpuShare;
}
BENCHMARK(BM_IdleReadTimeoutCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Latency of one overlapped read that a driver thread completes: ReadFile (pending) followed by
// GetOverlappedResult(wait), the path the tester link's I/O thread takes for every frame.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/posix/devices.h"
#include "platform/win32.h"

namespace {

using ralvex::posix::DeviceDriver;
using ralvex::posix::DeviceFile;
using ralvex::posix::IoRequest;

constexpr GUID BENCH_INTERFACE_GUID = {
    0x0BE4C4A1, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};
constexpr const char* DEVICE_PATH = "\\\\?\\bench#io#0#{0be4c4a1-0001-0002-0304-05060708090a}";

// Completes every read from its own thread, as a device's receive path would.
class ThreadedFile : public DeviceFile {
 public:
  ThreadedFile() : worker_([this] { Run(); }) {}
  ~ThreadedFile() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
  }

  uint32_t Control(uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t*) override {
    return ERROR_INVALID_FUNCTION;
  }
  void StartRead(IoRequest& request) override { Queue(request); }
  void StartWrite(IoRequest& request) override { Queue(request); }
  void Cancel(IoRequest& request) override {
    std::unique_lock lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      if (*it != &request) continue;
      queue_.erase(it);
      lock.unlock();
      request.Complete(STATUS_CANCELLED, 0);
      return;
    }
  }
  void Close() override {}

 private:
  void Queue(IoRequest& request) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(&request);
    }
    wake_.notify_one();
  }
  void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      IoRequest* request = queue_.front();
      queue_.pop_front();
      lock.unlock();
      std::memset(request->Buffer(), 0x55, request->Length());
      request->Complete(0, request->Length());
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<IoRequest*> queue_;
  bool stop_ = false;
  std::thread worker_;
};

class ThreadedDriver : public DeviceDriver {
 public:
  uint32_t Open(bool, std::unique_ptr<DeviceFile>* file) override {
    *file = std::make_unique<ThreadedFile>();
    return 0;
  }
};

void BM_OverlappedReadCompletedByDriverThread(benchmark::State& state) {
  ralvex::posix::ClearDeviceTree();
  ralvex::posix::DeviceNodeInfo info;
  info.instanceId = "BENCH\\IO\\0";
  info.interfaces.push_back({BENCH_INTERFACE_GUID, DEVICE_PATH});
  info.driver = std::make_shared<ThreadedDriver>();
  ralvex::posix::AddDeviceNode(info);

  HANDLE file = CreateFileA(DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (file == INVALID_HANDLE_VALUE || event == nullptr) {
    state.SkipWithError("cannot open the benchmark device");
    return;
  }
  const DWORD length = static_cast<DWORD>(state.range(0));
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[length]);
  OVERLAPPED ov{};
  ov.hEvent = event;
  for (auto _ : state) {
    ReadFile(file, buffer.get(), length, nullptr, &ov);
    DWORD count = 0;
    if (!GetOverlappedResult(file, &ov, &count, TRUE) || count != length) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(buffer[0]);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
  CloseHandle(event);
  CloseHandle(file);
  ralvex::posix::ClearDeviceTree();
}
BENCHMARK(BM_OverlappedReadCompletedByDriverThread)->Arg(5)->Arg(64)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

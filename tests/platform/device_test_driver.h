// A small driver for the device-file tests: reads and writes complete at once or wait for the
// test to complete them; cancels complete with STATUS_CANCELLED, at once or from another thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/devices.h"
#include "platform/win32.h"

namespace ralvex::posix::testing {

inline constexpr GUID TEST_INTERFACE_GUID = {
    0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
inline constexpr GUID USB_CLASS_GUID = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Control codes the test file answers.
inline constexpr DWORD CODE_ECHO = 0x00220004;      // copies the input to the output
inline constexpr DWORD CODE_PARTIAL = 0x00220008;   // fills 2 bytes, then ERROR_MORE_DATA
inline constexpr DWORD CODE_OVERSIZE = 0x0022000C;  // claims more bytes than the output holds

struct FileState {
  std::mutex mutex;
  bool immediate = false;  // complete reads/writes inside Start with `immediateStatus`
  uint32_t immediateStatus = 0;
  bool cancelFromThread = false;  // complete a cancel 50 ms later from another thread
  std::deque<IoRequest*> queue;
  std::vector<std::thread> cancellers;
  int cancels = 0;
  bool closed = false;
  std::vector<uint8_t> written;
};

class TestFile : public DeviceFile {
 public:
  TestFile(std::shared_ptr<FileState> state, std::shared_ptr<std::mutex> openMutex, int* opens)
      : state_(std::move(state)), openMutex_(std::move(openMutex)), opens_(opens) {}
  ~TestFile() override {
    std::lock_guard lock(*openMutex_);
    --*opens_;
  }

  uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                   uint32_t* returned) override {
    if (code == CODE_ECHO) {
      if (outLength < inLength) return ERROR_INSUFFICIENT_BUFFER;
      if (inLength != 0) std::memcpy(out, in, inLength);
      *returned = inLength;
      return 0;
    }
    if (code == CODE_PARTIAL && outLength >= 2) {
      std::memset(out, 0x5A, 2);
      *returned = 2;
      return ERROR_MORE_DATA;
    }
    if (code == CODE_OVERSIZE) {
      *returned = outLength + 100;
      return 0;
    }
    return ERROR_INVALID_FUNCTION;
  }

  void StartRead(IoRequest& request) override { Start(request, false); }
  void StartWrite(IoRequest& request) override { Start(request, true); }

  void Cancel(IoRequest& request) override {
    std::unique_lock lock(state_->mutex);
    ++state_->cancels;
    for (auto it = state_->queue.begin(); it != state_->queue.end(); ++it) {
      if (*it != &request) continue;
      state_->queue.erase(it);
      if (state_->cancelFromThread) {
        state_->cancellers.emplace_back([&request] {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          request.Complete(STATUS_CANCELLED, 0);
        });
      } else {
        lock.unlock();
        request.Complete(STATUS_CANCELLED, 0);
      }
      return;
    }
  }

  void Close() override {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
  }

 private:
  void Start(IoRequest& request, bool write) {
    std::unique_lock lock(state_->mutex);
    if (write) {
      state_->written.insert(state_->written.end(), request.Buffer(),
                             request.Buffer() + request.Length());
    }
    if (state_->immediate) {
      uint32_t status = state_->immediateStatus;
      lock.unlock();
      if (!write) std::memset(request.Buffer(), 0xA5, request.Length());
      request.Complete(status, request.Length());
      return;
    }
    state_->queue.push_back(&request);
  }

  std::shared_ptr<FileState> state_;
  std::shared_ptr<std::mutex> openMutex_;
  int* opens_;
};

class TestDriver : public DeviceDriver {
 public:
  TestDriver() : state(std::make_shared<FileState>()) {}
  ~TestDriver() override {
    for (std::thread& t : state->cancellers) t.join();
  }

  uint32_t Open(bool exclusive, std::unique_ptr<DeviceFile>* file) override {
    std::lock_guard lock(*openMutex_);
    if (opens_ > 0 && (exclusive || exclusiveHeld_)) return ERROR_ACCESS_DENIED;
    if (opens_ == 0) exclusiveHeld_ = false;
    exclusiveHeld_ |= exclusive;
    ++opens_;
    lastExclusive = exclusive;
    *file = std::make_unique<TestFile>(state, openMutex_, &opens_);
    return 0;
  }

  uint32_t Restart(bool* needsReboot) override {
    ++restarts;
    *needsReboot = restartNeedsReboot;
    return restartError;
  }
  void Reenumerate() override { ++reenumerations; }

  int OpenCount() {
    std::lock_guard lock(*openMutex_);
    return opens_;
  }

  // Completes the oldest queued request with `status`, filling reads with `fill` for `count`
  // bytes. False when nothing is queued.
  bool CompleteNext(uint32_t status, uint32_t count, uint8_t fill = 0x3C) {
    IoRequest* request = nullptr;
    {
      std::lock_guard lock(state->mutex);
      if (state->queue.empty()) return false;
      request = state->queue.front();
      state->queue.pop_front();
    }
    std::memset(request->Buffer(), fill, std::min(count, request->Length()));
    request->Complete(status, count);
    return true;
  }

  size_t Queued() {
    std::lock_guard lock(state->mutex);
    return state->queue.size();
  }

  std::shared_ptr<FileState> state;
  bool lastExclusive = false;
  int restarts = 0;
  bool restartNeedsReboot = false;
  uint32_t restartError = 0;
  int reenumerations = 0;

 private:
  std::shared_ptr<std::mutex> openMutex_ = std::make_shared<std::mutex>();
  int opens_ = 0;
  bool exclusiveHeld_ = false;
};

}  // namespace ralvex::posix::testing

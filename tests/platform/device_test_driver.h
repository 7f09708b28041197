// A small driver for the device-file tests: reads and writes complete at once or wait for the
// test to complete them; cancels complete with STATUS_CANCELLED, at once or from another thread.
#pragma once

#include <algorithm>
#include <chrono>
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

inline constexpr GUID kTestInterface = {
    0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
inline constexpr GUID kUsbClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Control codes the test file answers.
inline constexpr DWORD kCodeEcho = 0x00220004;      // copies the input to the output
inline constexpr DWORD kCodePartial = 0x00220008;   // fills 2 bytes, then ERROR_MORE_DATA
inline constexpr DWORD kCodeOversize = 0x0022000C;  // claims more bytes than the output holds

struct FileState {
  std::mutex mutex;
  bool immediate = false;  // complete reads/writes inside Start with `immediate_status`
  uint32_t immediate_status = 0;
  bool cancel_from_thread = false;  // complete a cancel 50 ms later from another thread
  std::deque<IoRequest*> queue;
  std::vector<std::thread> cancellers;
  int cancels = 0;
  bool closed = false;
  std::vector<uint8_t> written;
};

class TestFile : public DeviceFile {
 public:
  TestFile(std::shared_ptr<FileState> state, std::shared_ptr<std::mutex> open_mutex, int* opens)
      : state_(std::move(state)), open_mutex_(std::move(open_mutex)), opens_(opens) {}
  ~TestFile() override {
    std::lock_guard lock(*open_mutex_);
    --*opens_;
  }

  uint32_t Control(uint32_t code, const void* in, uint32_t in_length, void* out,
                   uint32_t out_length, uint32_t* returned) override {
    if (code == kCodeEcho) {
      if (out_length < in_length) return ERROR_INSUFFICIENT_BUFFER;
      if (in_length != 0) std::memcpy(out, in, in_length);
      *returned = in_length;
      return 0;
    }
    if (code == kCodePartial && out_length >= 2) {
      std::memset(out, 0x5A, 2);
      *returned = 2;
      return ERROR_MORE_DATA;
    }
    if (code == kCodeOversize) {
      *returned = out_length + 100;
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
      if (state_->cancel_from_thread) {
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
      uint32_t status = state_->immediate_status;
      lock.unlock();
      if (!write) std::memset(request.Buffer(), 0xA5, request.Length());
      request.Complete(status, request.Length());
      return;
    }
    state_->queue.push_back(&request);
  }

  std::shared_ptr<FileState> state_;
  std::shared_ptr<std::mutex> open_mutex_;
  int* opens_;
};

class TestDriver : public DeviceDriver {
 public:
  TestDriver() : state(std::make_shared<FileState>()) {}
  ~TestDriver() override {
    for (std::thread& t : state->cancellers) t.join();
  }

  uint32_t Open(bool exclusive, std::unique_ptr<DeviceFile>* file) override {
    std::lock_guard lock(*open_mutex_);
    if (opens_ > 0 && (exclusive || exclusive_held_)) return ERROR_ACCESS_DENIED;
    if (opens_ == 0) exclusive_held_ = false;
    exclusive_held_ |= exclusive;
    ++opens_;
    last_exclusive = exclusive;
    *file = std::make_unique<TestFile>(state, open_mutex_, &opens_);
    return 0;
  }

  uint32_t Restart(bool* needs_reboot) override {
    ++restarts;
    *needs_reboot = restart_needs_reboot;
    return restart_error;
  }
  void Reenumerate() override { ++reenumerations; }

  int OpenCount() {
    std::lock_guard lock(*open_mutex_);
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
  bool last_exclusive = false;
  int restarts = 0;
  bool restart_needs_reboot = false;
  uint32_t restart_error = 0;
  int reenumerations = 0;

 private:
  std::shared_ptr<std::mutex> open_mutex_ = std::make_shared<std::mutex>();
  int opens_ = 0;
  bool exclusive_held_ = false;
};

}  // namespace ralvex::posix::testing

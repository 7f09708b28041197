#include "link/io_context.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ralvex::link {

namespace {

// Manual-reset slots: the two transfer records' events, and start-write, which stays set until
// the thread has started the write.
constexpr bool IO_SLOT_MANUAL_RESET[] = {false, true, false, true, true};

bool IsDevice(FT_HANDLE device) {
  return device != INVALID_HANDLE_VALUE && device != nullptr;
}

}  // namespace

IoContext* IoContext::Create(IoHandler handler, void* argument) {
  auto* context = new (std::nothrow) IoContext;
  if (context == nullptr) return nullptr;
  InitializeCriticalSection(&context->handlerLock_);
  static_assert(std::size(IO_SLOT_MANUAL_RESET) == IO_SLOT_COUNT);
  for (std::size_t slot = 0; slot < IO_SLOT_COUNT; ++slot) {
    context->events_[slot] =
        CreateEventW(nullptr, IO_SLOT_MANUAL_RESET[slot] ? TRUE : FALSE, FALSE, nullptr);
    if (context->events_[slot] == nullptr) {
      delete context;
      return nullptr;
    }
  }
  context->readRecord_.hEvent = context->events_[IO_SLOT_READ_DONE];
  context->writeRecord_.hEvent = context->events_[IO_SLOT_WRITE_DONE];
  context->handler_ = handler;
  context->handlerArgument_ = argument;
  return context;
}

IoContext::~IoContext() {
  CloseDevice();
  for (HANDLE& event : events_) {
    if (event != nullptr) CloseHandle(event);
    event = nullptr;
  }
  if (thread_ != nullptr) CloseHandle(thread_);
  DeleteCriticalSection(&handlerLock_);
}

bool IoContext::OpenDevice(const char* serial) {
  if (serial == nullptr || IsDevice(device_)) return false;
  device_ = FT_W32_CreateFile(serial, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              LINK_OPEN_FLAGS, nullptr);
  const bool configured =
      IsDevice(device_) && FT_SetBaudRate(device_, LINK_BAUD_RATE) == FT_OK &&
      FT_SetDataCharacteristics(device_, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
      FT_SetTimeouts(device_, LINK_TIMEOUT_MS, LINK_TIMEOUT_MS) == FT_OK;
  if (!configured) {
    CloseDevice();
    return false;
  }
  LowerLatencyTimer();
  UseFrameEndEvent();
  return true;
}

void IoContext::LowerLatencyTimer() {
  UCHAR saved = 0;
  const bool known = FT_GetLatencyTimer(device_, &saved) == FT_OK;
  for (const UCHAR timer : LINK_LATENCY_TIMERS_MS) {
    if (FT_SetLatencyTimer(device_, timer) != FT_OK) continue;
    latencyLowered_ = known && saved != timer;
    savedLatency_ = saved;
    return;
  }
  // Not an error: the session is only slower.
}

void IoContext::UseFrameEndEvent() {
  // Not an error when refused: replies then wait for the latency timer.
  eventCharSet_ = FT_SetChars(device_, LINK_EVENT_CHAR, 1, 0, 0) == FT_OK;
}

void IoContext::CloseDevice() {
  if (IsDevice(device_)) {
    if (latencyLowered_) FT_SetLatencyTimer(device_, savedLatency_);
    if (eventCharSet_) FT_SetChars(device_, 0, 0, 0, 0);
    FT_Close(device_);
  }
  device_ = INVALID_HANDLE_VALUE;
  latencyLowered_ = false;
  eventCharSet_ = false;
}

bool IoContext::StartThread() {
  if (!IsDevice(device_) || thread_ != nullptr) return false;
  // The thread's hold is taken before it can run, so it can never free the context early.
  holds_.fetch_add(1, std::memory_order_relaxed);
  const uintptr_t thread = _beginthreadex(nullptr, 0, ThreadMain, this, 0, nullptr);
  if (thread == 0) {
    holds_.fetch_sub(1, std::memory_order_relaxed);
    return false;
  }
  thread_ = reinterpret_cast<HANDLE>(thread);
  return true;
}

bool IoContext::QueueWrite(std::span<const uint8_t> frame) {
  if (frame.empty() || frame.size() > IO_BUFFER_SIZE) return false;
  // Only this (requesting) side sets the flag, so a clear flag stays clear until it is set here.
  if (writePending_.load(std::memory_order_acquire)) return false;
  writePending_.store(true, std::memory_order_relaxed);
  std::memcpy(transmitBuffer_, frame.data(), frame.size());
  transmitLength_ = static_cast<uint32_t>(frame.size());
  // The event publishes the transmit buffer to the I/O thread.
  SetEvent(events_[IO_SLOT_START_WRITE]);
  return true;
}

void IoContext::RequestRead(std::size_t length) {
  readLength_ = static_cast<uint32_t>(std::clamp<std::size_t>(length, 1, IO_BUFFER_SIZE));
  SetEvent(events_[IO_SLOT_START_READ]);
}

bool IoContext::Stop(DWORD timeoutMs) {
  SetEvent(events_[IO_SLOT_STOP]);
  if (thread_ == nullptr) return true;
  return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

void IoContext::Release() {
  EnterCriticalSection(&handlerLock_);
  handler_ = nullptr;
  handlerArgument_ = nullptr;
  LeaveCriticalSection(&handlerLock_);
  // With no owner left the thread has nothing more to do.
  SetEvent(events_[IO_SLOT_STOP]);
  DropHold();
}

void IoContext::DropHold() {
  if (holds_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void IoContext::Report(IoEvent event) {
  EnterCriticalSection(&handlerLock_);
  if (handler_ != nullptr) handler_(*this, handlerArgument_, event);
  LeaveCriticalSection(&handlerLock_);
}

unsigned __stdcall IoContext::ThreadMain(void* argument) {
  auto* context = static_cast<IoContext*>(argument);
  context->Serve();
  // Closing the device waits until no transfer can touch the context's buffers any more.
  context->CloseDevice();
  context->Report(IO_STOPPED);
  context->DropHold();
  return 0;
}

void IoContext::Serve() {
  readPending_ = false;
  writePending_.store(false, std::memory_order_release);
  Report(IO_STARTED);
  for (;;) {
    const DWORD result =
        WaitForMultipleObjects(static_cast<DWORD>(IO_SLOT_COUNT), events_, FALSE, INFINITE);
    // WAIT_OBJECT_0 is 0, so any failure or other result lands beyond the last slot.
    const DWORD slot = result - WAIT_OBJECT_0;
    switch (slot) {
      case IO_SLOT_READ_DONE:
        FinishRead();
        break;
      case IO_SLOT_START_READ:
        StartRead();
        break;
      case IO_SLOT_WRITE_DONE:
        FinishWrite();
        break;
      case IO_SLOT_START_WRITE:
        StartWrite();
        break;
      default:  // stop, or a failed wait
        return;
    }
  }
}

void IoContext::FinishRead() {
  DWORD count = 0;
  const BOOL ok = FT_W32_GetOverlappedResult(device_, &readRecord_, &count, FALSE);
  ResetEvent(events_[IO_SLOT_READ_DONE]);
  readPending_ = false;
  if (!ok) {
    // No further read is asked for: reception ends for the rest of this context's life.
    receivedCount_ = 0;
    deviceLost_.store(true, std::memory_order_release);
    return;
  }
  // A driver never reports more than was asked; the clamp keeps a faulty one in bounds.
  receivedCount_ = std::min<DWORD>(count, IO_BUFFER_SIZE);
  Report(IO_DATA);
}

void IoContext::StartRead() {
  // One read at a time: a request while one is pending is served by the delivery that follows.
  if (readPending_) return;
  readPending_ = true;
  DWORD unused = 0;
  FT_W32_ReadFile(device_, receiveBuffer_, readLength_, &unused, &readRecord_);
}

void IoContext::FinishWrite() {
  DWORD count = 0;
  const BOOL ok = FT_W32_GetOverlappedResult(device_, &writeRecord_, &count, FALSE);
  ResetEvent(events_[IO_SLOT_WRITE_DONE]);
  // A failed write leaves the write pending: later frames are dropped.
  if (!ok) {
    deviceLost_.store(true, std::memory_order_release);
    return;
  }
  writePending_.store(false, std::memory_order_release);
  Report(IO_WRITE_DONE);
}

void IoContext::StartWrite() {
  DWORD unused = 0;
  FT_W32_WriteFile(device_, transmitBuffer_, transmitLength_, &unused, &writeRecord_);
  ResetEvent(events_[IO_SLOT_START_WRITE]);
}

}  // namespace ralvex::link

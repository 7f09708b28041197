#pragma once
// The I/O context of one open tester: the device handle, the I/O thread that performs its
// overlapped reads and writes, the seven events the thread waits on, and fixed transfer buffers.
// The thread reports to its owner through a plain handler; the owner hands frames to it with
// QueueWrite. One context per Open.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/win32.h"
#include "ralvex/bridge.h"

namespace ralvex::link {

// What the I/O thread reports to its owner.
enum IoEvent : int {
  IO_STARTED = 0,
  IO_STOPPED = 1,
  IO_WRITE_DONE = 2,
  IO_DATA = 3,
};

// Event slots; a lower slot is served first when several are signalled.
inline constexpr std::size_t IO_SLOT_STOP = 0;         // auto-reset, signalled by the owner
inline constexpr std::size_t IO_SLOT_READ_DONE = 1;    // manual, the read record's event
inline constexpr std::size_t IO_SLOT_START_READ = 2;   // auto-reset, signalled by the parser
inline constexpr std::size_t IO_SLOT_WRITE_DONE = 3;   // manual, the write record's event
inline constexpr std::size_t IO_SLOT_START_WRITE = 4;  // manual, signalled by QueueWrite
inline constexpr std::size_t IO_SLOT_SPARE = 5;        // manual, the spare record's event; unused
inline constexpr std::size_t IO_SLOT_IDLE = 6;         // auto-reset; unused
inline constexpr std::size_t IO_EVENT_COUNT = 7;

inline constexpr std::size_t IO_BUFFER_SIZE = 256;  // receive and transmit buffers

struct IoContext;
// Runs on the I/O thread, one event at a time.
using IoHandler = void (*)(IoContext* context, void* argument, IoEvent event);

struct IoContext {
  HANDLE events[IO_EVENT_COUNT] = {};
  FT_HANDLE device = INVALID_HANDLE_VALUE;
  HANDLE thread = nullptr;  // null when no thread was started
  OVERLAPPED readRecord = {};
  OVERLAPPED writeRecord = {};
  OVERLAPPED spareRecord = {};
  // Set by QueueWrite on the requesting thread, cleared by the I/O thread when the write completes.
  std::atomic<std::uint8_t> writePending{0};
  std::uint8_t readPending = 0;  // I/O thread only
  std::uint8_t receiveBuffer[IO_BUFFER_SIZE] = {};
  std::uint32_t readLength = 1;  // 1..IO_BUFFER_SIZE, set by the handler on the I/O thread
  std::uint32_t receivedCount = 0;
  std::uint8_t transmitBuffer[IO_BUFFER_SIZE] = {};
  std::uint32_t transmitLength = 0;
  IoHandler handler = nullptr;
  void* handlerArgument = nullptr;

  // Lifetime: the handler lock keeps DetachIoHandler from returning while a handler call is in
  // progress; `owners` counts the owner and a running thread, and whoever drops it to zero frees
  // the context, so a thread that outlives its owner's wait never touches freed memory.
  CRITICAL_SECTION handlerLock;
  std::atomic<int> owners{1};
};

// A fresh context (no device, no thread) with its seven events and the handler lock; the caller
// owns it. Returns null when memory or any event cannot be had (nothing is leaked then).
IoContext* CreateIoContext(IoHandler handler, void* argument);

// Starts the I/O thread on a context whose device is open. False when the thread cannot start.
bool StartIoThread(IoContext* context);

// Hands a frame to the I/O thread. The frame is dropped (false) while a write is still pending,
// when there is no frame, or when it is empty or longer than the transmit buffer.
bool QueueWrite(IoContext* context, const std::uint8_t* frame, std::size_t length);

// Entry function of the I/O thread; the argument is the context.
unsigned __stdcall IoThreadMain(void* context);

// Signals the thread to stop and waits up to `timeoutMs` for it to end. True when it has ended or
// there was none.
bool StopIoThread(IoContext* context, DWORD timeoutMs);

// The handler is no longer called once this returns (a call in progress is waited for).
void DetachIoHandler(IoContext* context);

// Gives up the owner's hold: frees the context now when no thread runs on it, or leaves that to
// the thread when it ends. The handler is detached first. Null is accepted.
void ReleaseIoContext(IoContext* context);

}  // namespace ralvex::link

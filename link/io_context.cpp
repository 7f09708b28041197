#include "link/io_context.h"

#include <cstring>
#include <new>

namespace ralvex::link {

namespace {

// Manual-reset slots: the two transfer records' events (the spare's too) and start-write, which
// stays set until the thread has started the write.
constexpr bool kManualReset[IO_EVENT_COUNT] = {false, true, false, true, true, true, false};

void CloseEvents(IoContext* context) {
  for (HANDLE& event : context->events) {
    if (event != nullptr) CloseHandle(event);
    event = nullptr;
  }
}

void DestroyContext(IoContext* context) {
  CloseEvents(context);
  if (context->thread != nullptr) CloseHandle(context->thread);
  context->thread = nullptr;
  DeleteCriticalSection(&context->handlerLock);
  delete context;
}

// Drops one hold; the last one frees the context.
void DropOwner(IoContext* context) {
  if (context->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) DestroyContext(context);
}

void Report(IoContext* context, IoEvent event) {
  EnterCriticalSection(&context->handlerLock);
  if (context->handler != nullptr) context->handler(context, context->handlerArgument, event);
  LeaveCriticalSection(&context->handlerLock);
}

}  // namespace

IoContext* CreateIoContext(IoHandler handler, void* argument) {
  auto* context = new (std::nothrow) IoContext;
  if (context == nullptr) return nullptr;
  InitializeCriticalSection(&context->handlerLock);
  for (std::size_t slot = 0; slot < IO_EVENT_COUNT; ++slot) {
    context->events[slot] =
        CreateEventW(nullptr, kManualReset[slot] ? TRUE : FALSE, FALSE, nullptr);
    if (context->events[slot] == nullptr) {
      DestroyContext(context);
      return nullptr;
    }
  }
  context->readRecord.hEvent = context->events[IO_SLOT_READ_DONE];
  context->writeRecord.hEvent = context->events[IO_SLOT_WRITE_DONE];
  context->spareRecord.hEvent = context->events[IO_SLOT_SPARE];
  context->handler = handler;
  context->handlerArgument = argument;
  return context;
}

bool StartIoThread(IoContext* context) {
  if (context == nullptr || context->thread != nullptr) return false;
  // The thread's hold is taken before it can run, so it can never free the context early.
  context->owners.fetch_add(1, std::memory_order_relaxed);
  const uintptr_t thread = _beginthreadex(nullptr, 0, IoThreadMain, context, 0, nullptr);
  if (thread == 0) {
    context->owners.fetch_sub(1, std::memory_order_relaxed);
    return false;
  }
  context->thread = reinterpret_cast<HANDLE>(thread);
  return true;
}

bool QueueWrite(IoContext* context, const std::uint8_t* frame, std::size_t length) {
  if (context == nullptr || frame == nullptr || length == 0 || length > IO_BUFFER_SIZE) {
    return false;
  }
  // Only this (requesting) side sets the flag, so a clear flag stays clear until it is set here.
  if (context->writePending.load(std::memory_order_acquire) != 0) return false;
  context->writePending.store(1, std::memory_order_relaxed);
  std::memcpy(context->transmitBuffer, frame, length);
  context->transmitLength = static_cast<std::uint32_t>(length);
  // The event publishes the transmit buffer to the I/O thread.
  SetEvent(context->events[IO_SLOT_START_WRITE]);
  return true;
}

unsigned __stdcall IoThreadMain(void* argument) {
  auto* context = static_cast<IoContext*>(argument);
  if (context == nullptr) return 0;

  context->readPending = 0;
  context->writePending.store(0, std::memory_order_release);
  Report(context, IO_STARTED);

  for (;;) {
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(IO_EVENT_COUNT), context->events,
                                                FALSE, INFINITE);
    const DWORD slot = result - WAIT_OBJECT_0;
    // WAIT_OBJECT_0 is 0, so any failure or other result lands beyond the last slot.
    if (slot >= IO_EVENT_COUNT || slot == IO_SLOT_STOP) break;

    if (slot == IO_SLOT_READ_DONE) {
      DWORD count = 0;
      const BOOL ok =
          FT_W32_GetOverlappedResult(context->device, &context->readRecord, &count, FALSE);
      ResetEvent(context->events[IO_SLOT_READ_DONE]);
      context->readPending = 0;
      if (ok) {
        // A driver never reports more than was asked; the clamp keeps a faulty one in bounds.
        context->receivedCount = count < IO_BUFFER_SIZE ? count : IO_BUFFER_SIZE;
        Report(context, IO_DATA);
      } else {
        // No further read is asked for: reception ends for the rest of this context's life.
        context->receivedCount = 0;
      }
    } else if (slot == IO_SLOT_START_READ) {
      if (context->readPending == 0) {
        context->readPending = 1;
        DWORD length = context->readLength;
        if (length == 0) length = 1;
        if (length > IO_BUFFER_SIZE) length = IO_BUFFER_SIZE;
        DWORD unused = 0;
        FT_W32_ReadFile(context->device, context->receiveBuffer, length, &unused,
                        &context->readRecord);
      }
    } else if (slot == IO_SLOT_WRITE_DONE) {
      DWORD count = 0;
      const BOOL ok =
          FT_W32_GetOverlappedResult(context->device, &context->writeRecord, &count, FALSE);
      ResetEvent(context->events[IO_SLOT_WRITE_DONE]);
      if (ok) {
        context->writePending.store(0, std::memory_order_release);
        Report(context, IO_WRITE_DONE);
      }
      // A failed write leaves writePending set: later frames are dropped.
    } else if (slot == IO_SLOT_START_WRITE) {
      DWORD unused = 0;
      FT_W32_WriteFile(context->device, context->transmitBuffer, context->transmitLength, &unused,
                       &context->writeRecord);
      ResetEvent(context->events[IO_SLOT_START_WRITE]);
    }
    // Slots 5 and 6: nothing signals them.
  }

  // Closing the device waits until no transfer can touch the context's buffers any more.
  FT_Close(context->device);
  context->device = INVALID_HANDLE_VALUE;
  Report(context, IO_STOPPED);
  DropOwner(context);
  return 0;
}

bool StopIoThread(IoContext* context, DWORD timeoutMs) {
  if (context == nullptr) return true;
  SetEvent(context->events[IO_SLOT_STOP]);
  if (context->thread == nullptr) return true;
  return WaitForSingleObject(context->thread, timeoutMs) == WAIT_OBJECT_0;
}

void DetachIoHandler(IoContext* context) {
  if (context == nullptr) return;
  EnterCriticalSection(&context->handlerLock);
  context->handler = nullptr;
  context->handlerArgument = nullptr;
  LeaveCriticalSection(&context->handlerLock);
}

void ReleaseIoContext(IoContext* context) {
  if (context == nullptr) return;
  DetachIoHandler(context);
  DropOwner(context);
}

}  // namespace ralvex::link

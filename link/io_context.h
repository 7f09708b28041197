// The I/O side of one tester session. The context opens the tester's bridge device and sets up its
// line, owns the device until it is closed, and runs the I/O thread that performs the overlapped
// reads and writes through fixed buffers. The thread reports to the context's owner through a
// plain handler; the owner hands frames over with QueueWrite and, from the handler, says how many
// bytes the next read takes. One context per Open.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/frame.h"
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

// The tester's line: 115200 Bd, 8N1, and device time-outs far beyond any exchange's waits.
inline constexpr uint32_t LINK_BAUD_RATE = 115200;
inline constexpr ULONG LINK_TIMEOUT_MS = 10000;  // read and write time-outs of the device
inline constexpr DWORD LINK_OPEN_FLAGS =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FT_OPEN_BY_SERIAL_NUMBER;
static_assert(LINK_OPEN_FLAGS == 0x40000081);
// A bridge holds a short packet for its latency timer before passing it to the host, and every
// reply is short: at the usual 16 ms the timer is most of each exchange. The session asks for the
// lowest timer the bridge takes (1 ms, or 2 ms where the timer starts there), so a reply goes on
// as soon as its bytes are in; the extra USB packets are nothing for a few frames per run. A
// bridge that takes neither keeps its own timer, and the old value is put back at close.
inline constexpr UCHAR LINK_LATENCY_TIMERS_MS[] = {1, 2};
// A bridge also sends its packet at once when its event character lands. With the frame end byte
// as that character, a reply leaves the bridge as its last byte arrives, without waiting for the
// latency timer at all; a 0x03 inside a payload only sends a packet early, and the receive parser
// takes a frame in any number of pieces. A bridge that has no event character (a tty) refuses it,
// which is no error: the lowered latency timer is then the fastest path. It is switched off again
// at close.
inline constexpr UCHAR LINK_EVENT_CHAR = ETX;

class IoContext;
// Runs on the I/O thread, one event at a time.
using IoHandler = void (*)(IoContext& context, void* argument, IoEvent event);

class IoContext {
 public:
  // A context without device or thread, or null when memory or an event cannot be had (nothing
  // is leaked then). The caller owns it until Release.
  static IoContext* Create(IoHandler handler, void* argument);

  IoContext(const IoContext&) = delete;
  IoContext& operator=(const IoContext&) = delete;

  // Opens the device with this serial number for overlapped transfers and sets up the tester's
  // line. False when there is no such device or a line setting is refused; the device is closed
  // again then.
  bool OpenDevice(const char* serial);

  // Starts the I/O thread on the open device. False without a device, when a thread was started
  // already, or when none can start.
  bool StartThread();
  bool HasThread() const { return thread_ != nullptr; }

  // Hands a frame to the I/O thread. The frame is dropped (false) while a write is still pending,
  // or when it is empty or longer than the transmit buffer.
  bool QueueWrite(std::span<const uint8_t> frame);
  // Set from a queued frame until its write completes; a failed write leaves it set for good.
  bool WritePending() const { return writePending_.load(std::memory_order_acquire); }
  // Set for good once a read or a write completed with an error: the device has gone (unplugged,
  // its port closed) and this context will carry nothing more.
  bool DeviceLost() const { return deviceLost_.load(std::memory_order_acquire); }

  // Signals the thread to stop and waits up to `timeoutMs` for it to end. True when it has ended
  // or none was started.
  bool Stop(DWORD timeoutMs);

  // The owner lets go: the handler is no longer called once this returns (a call in progress is
  // waited for) and the thread is told to stop. The device is closed and the context freed now
  // when no thread runs on it, or by the thread as it ends. The context must not be used after.
  void Release();

  // For the handler, on the I/O thread: the bytes the last completed read delivered, and the
  // length of the next read (kept within 1..IO_BUFFER_SIZE), which starts once the handler has
  // returned.
  std::span<const uint8_t> Delivery() const { return {receiveBuffer_, receivedCount_}; }
  void RequestRead(std::size_t length);

 private:
  // Event slots; when several are signalled the lowest is served first.
  enum Slot : std::size_t {
    IO_SLOT_STOP,         // auto-reset, signalled by Stop and Release
    IO_SLOT_READ_DONE,    // manual, the read record's event
    IO_SLOT_START_READ,   // auto-reset, signalled by RequestRead
    IO_SLOT_WRITE_DONE,   // manual, the write record's event
    IO_SLOT_START_WRITE,  // manual, signalled by QueueWrite until the write has started
    IO_SLOT_COUNT,
  };

  IoContext() = default;
  ~IoContext();

  static unsigned __stdcall ThreadMain(void* argument);
  void Serve();
  void FinishRead();
  void StartRead();
  void FinishWrite();
  void StartWrite();
  void Report(IoEvent event);
  void LowerLatencyTimer();
  void UseFrameEndEvent();
  void CloseDevice();
  void DropHold();

  HANDLE events_[IO_SLOT_COUNT] = {};
  FT_HANDLE device_ = INVALID_HANDLE_VALUE;
  bool latencyLowered_ = false;  // and savedLatency_ is the timer to put back at close
  UCHAR savedLatency_ = 0;
  bool eventCharSet_ = false;  // the frame end byte is the device's event character
  HANDLE thread_ = nullptr;
  OVERLAPPED readRecord_ = {};
  OVERLAPPED writeRecord_ = {};
  // Set by QueueWrite on the requesting thread, cleared by the I/O thread when the write completes.
  std::atomic<bool> writePending_{false};
  std::atomic<bool> deviceLost_{false};
  // The rest of the transfer state belongs to the I/O thread, except the transmit buffer and
  // length, which QueueWrite fills while no write is pending; the start-write event publishes them.
  bool readPending_ = false;
  uint32_t readLength_ = 1;
  uint32_t receivedCount_ = 0;
  uint32_t transmitLength_ = 0;
  uint8_t receiveBuffer_[IO_BUFFER_SIZE] = {};
  uint8_t transmitBuffer_[IO_BUFFER_SIZE] = {};

  // The handler lock keeps Release from returning while a handler call is in progress. `holds_`
  // counts the owner and a running thread; whoever drops it to zero frees the context, so a
  // thread that outlives its owner's wait never touches freed memory.
  IoHandler handler_ = nullptr;
  void* handlerArgument_ = nullptr;
  CRITICAL_SECTION handlerLock_;
  std::atomic<int> holds_{1};
};

}  // namespace ralvex::link

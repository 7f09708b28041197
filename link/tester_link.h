// The connection to one tester: opens its bridge device by serial number, runs the I/O thread,
// greets the tester and reads its settings, then performs one request/response exchange per
// command. Every exchange holds the link lock from building the frame to decoding the reply and
// waits at most 500 ms for the write and 500 ms for the reply. Fixed buffers; nothing is
// allocated per exchange.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "link/commands.h"
#include "link/frame.h"
#include "link/io_context.h"
#include "link/receive_parser.h"
#include "platform/win32.h"
#include "ralvex/bridge.h"

namespace ralvex::link {

inline constexpr DWORD LINK_EXCHANGE_WAIT_MS = 500;  // each of the write-done and reply waits
inline constexpr DWORD LINK_CLOSE_WAIT_MS = 2000;    // Close's wait for the I/O thread

class TesterLink {
 public:
  TesterLink();
  // Closes an open link first, then its events.
  ~TesterLink();
  TesterLink(const TesterLink&) = delete;
  TesterLink& operator=(const TesterLink&) = delete;

  // Opens the tester with this serial number: true when the device is open, the I/O thread runs
  // and the tester answered CMD_HELLO. A failed open whose thread was started is stopped by
  // Close. Calling Open on a link that is still open closes it first.
  bool Open(const char* serial);
  // Stops the I/O thread (which closes the device) and returns when it has ended or after 2000 ms.
  // Returns at once when the link holds no context.
  void Close();

  // Reads settings 0, 2, 3 and 4; stops at the first failed exchange (earlier ones keep their new
  // values). Called by Open.
  bool ReadSettings();

  // True when the reply arrived in time and repeated the command byte; the record is filled only
  // then.
  bool GetConnection(ConnectionReply& reply);
  bool GetProfiles(ProfileList& list);
  bool GetStats(StatsReply& stats);
  // The set commands send and wait like any exchange. Each result is answered when a reply frame
  // arrived in time: for SetProfile one repeating 0x0D, for the others any frame. Its status is
  // the tester's verdict (accepted, refused, malformed) when the reply repeated the command byte
  // and carried one; a bare command byte, or a reply that is no acknowledgement, leaves it empty.
  SetResult SetProfile(uint8_t profileId, uint16_t voltageMv);
  SetResult SetDefaultVoltage(uint16_t voltageMv);
  SetResult SetDefaultLoad(uint16_t loadMa);
  SetResult SetLoad(uint16_t loadMa);
  SetResult SetMaxLoad(uint16_t maxLoadMa);

  // From the CMD_HELLO reply; ranged-profile details are meaningful from version 20 on.
  uint8_t VersionLevel() const { return versionLevel_; }
  uint8_t VersionSublevel() const { return versionSublevel_; }
  // As read at the last Open; a setting whose read failed keeps its earlier value.
  const TesterSettings& Settings() const { return settings_; }
  MaxLoadSetting MaxLoad() const { return maxLoad_; }

  // True when the open link's device has gone (a transfer failed for good) or no link is open: only
  // a new Open reaches the tester again. A tester that merely missed a reply is not lost.
  bool DeviceLost() const { return context_ == nullptr || context_->DeviceLost(); }

  // The context of the current Open, or null (never opened, closed, or failed before a thread was
  // started).
  const IoContext* Context() const { return context_; }

 private:
  // The I/O thread's reports: a started thread asks for its first byte, a delivery goes through
  // the receive parser, a completed write is passed on to the waiting exchange.
  static void ForwardIoEvent(IoContext& context, void* link, IoEvent event);
  void OnIoEvent(IoContext& context, IoEvent event);
  void OnDelivery(IoContext& context);

  // One command: frame it with its arguments, queue it, wait for the write and for a reply, and
  // decode a reply that repeats the command byte into `record` (null for NoRecord): true when the
  // reply passed, or for a command without a reply test when any reply came. The record's type
  // comes from the description alone. Exchange takes the link lock;
  // ExchangeLocked expects it held.
  template <class Record>
  bool Exchange(const CommandExchange<Record>& command, std::span<const uint8_t> arguments,
                std::type_identity_t<Record>* record);
  template <class Record>
  bool ExchangeLocked(const CommandExchange<Record>& command, std::span<const uint8_t> arguments,
                      std::type_identity_t<Record>* record);
  // Frames the command, queues it and waits: true when the write completed and a reply arrived.
  bool SendAndWaitLocked(uint8_t command, std::span<const uint8_t> arguments);
  SetResult SendValue(const CommandExchange<SetVerdict>& command, uint16_t value);
  // One set exchange; ExchangeSetLocked expects the link lock held.
  SetResult ExchangeSet(const CommandExchange<SetVerdict>& command,
                        std::span<const uint8_t> arguments);
  SetResult ExchangeSetLocked(const CommandExchange<SetVerdict>& command,
                              std::span<const uint8_t> arguments);

  IoContext* context_ = nullptr;
  ReceiveParser parser_;  // I/O thread only
  HANDLE replyEvent_ = nullptr;
  HANDLE writeDoneEvent_ = nullptr;
  void (*notificationHandler_)(int code) = nullptr;
  CRITICAL_SECTION lock_;
  uint8_t versionLevel_ = 0;
  uint8_t versionSublevel_ = 0;
  TesterSettings settings_ = {};
  MaxLoadSetting maxLoad_ = {0, 0};

  // The last reply frame's payload, published by the I/O thread and read by the requesting
  // thread under the reply lock: a late reply may complete while the next one is being decoded.
  CRITICAL_SECTION replyLock_;
  uint8_t reply_[FRAME_MAX_PAYLOAD] = {};
  std::size_t replyLength_ = 0;
};

}  // namespace ralvex::link

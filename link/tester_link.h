#pragma once
// The connection to one tester: opens its bridge device by serial number, runs the I/O thread,
// greets the tester and reads its settings, then performs one request/response exchange per
// command. Every exchange holds the link lock from building the frame to decoding the reply and
// waits at most 500 ms for the write and 500 ms for the reply. Fixed buffers; nothing is
// allocated per exchange.

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/commands.h"
#include "link/frame.h"
#include "link/io_context.h"
#include "link/receive_parser.h"
#include "platform/win32.h"
#include "ralvex/bridge.h"

namespace ralvex::link {

inline constexpr DWORD EXCHANGE_WAIT_MS = 500;  // each of the write-done and reply waits
inline constexpr DWORD CLOSE_WAIT_MS = 2000;    // Close's wait for the I/O thread

inline constexpr std::uint32_t LINK_BAUD_RATE = 115200;
inline constexpr ULONG LINK_TIMEOUT_MS = 10000;  // read and write time-outs of the device
inline constexpr DWORD LINK_OPEN_FLAGS =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FT_OPEN_BY_SERIAL_NUMBER;
static_assert(LINK_OPEN_FLAGS == 0x40000081);

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
  // True when a reply repeating 0x0D arrived.
  bool SetProfile(std::uint8_t profileId, std::uint16_t voltageMv);

  // Send and wait like any exchange; the outcome is not reported.
  void SetDefaultVoltage(std::uint16_t voltageMv);
  void SetDefaultLoad(std::uint16_t loadMa);
  void SetLoad(std::uint16_t loadMa);
  void SetMaxLoad(std::uint16_t maxLoadMa);

  // From the CMD_HELLO reply; ranged-profile details are meaningful from version 20 on.
  std::uint8_t VersionLevel() const { return versionLevel_; }
  std::uint8_t VersionByte2() const { return versionByte2_; }
  bool Setting0() const { return setting0_; }
  std::uint16_t Setting2() const { return setting2_; }
  bool Setting3() const { return setting3_; }
  std::uint16_t Setting4() const { return setting4_; }
  MaxLoadSetting MaxLoad() const { return maxLoad_; }

  // The context of the current Open, or null (never opened, closed, or failed before a thread was
  // started).
  const IoContext* Context() const { return context_; }

  // The I/O thread's events, routed to the receive parser. Public so the routing can be exercised
  // without a device; call only from the thread that owns `context`.
  void OnIoEvent(IoContext* context, IoEvent event);

 private:
  using Decoder = void (*)(std::span<const std::uint8_t> reply, void* out);

  // Steps shared by every command: queue `frame`, wait for the write and for a reply. With
  // `expected` set, the reply must repeat it, and `decode` (may be null) runs on it under the
  // reply lock. Caller holds the link lock.
  bool ExchangeLocked(const std::uint8_t* frame, std::size_t length, bool testReply,
                      std::uint8_t expected, Decoder decode, void* out);
  // The same, taking and leaving the link lock.
  bool Exchange(const std::uint8_t* frame, std::size_t length, bool testReply,
                std::uint8_t expected, Decoder decode, void* out);
  bool ReadSetting(std::uint8_t id);
  void SendUnchecked(std::uint8_t command, std::uint16_t value);

  IoContext* context_ = nullptr;
  ReceiveParser parser_;  // I/O thread only
  HANDLE replyEvent_ = nullptr;
  HANDLE writeDoneEvent_ = nullptr;
  void (*notificationHandler_)(int code) = nullptr;
  CRITICAL_SECTION lock_;
  std::uint8_t versionLevel_ = 0;
  std::uint8_t versionByte2_ = 0;
  bool setting0_ = false;
  bool setting3_ = false;
  std::uint16_t setting2_ = 0;
  MaxLoadSetting maxLoad_ = {0, 0};
  std::uint16_t setting4_ = 0;

  // The last reply frame's payload, published by the I/O thread and read by the requesting
  // thread under the reply lock: a late reply may complete while the next one is being decoded.
  CRITICAL_SECTION replyLock_;
  std::uint8_t reply_[MAX_PAYLOAD] = {};
  std::size_t replyLength_ = 0;
};

}  // namespace ralvex::link

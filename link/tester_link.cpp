#include "link/tester_link.h"

#include <cstring>
#include <iterator>

#include "ralvex/bridge.h"

namespace ralvex::link {

namespace {

// The program has no use for the tester's notifications.
void IgnoreNotification(int) {}

void ForwardIoEvent(IoContext* context, void* argument, IoEvent event) {
  static_cast<TesterLink*>(argument)->OnIoEvent(context, event);
}

template <class Record, Record (*Decode)(std::span<const std::uint8_t>)>
void DecodeInto(std::span<const std::uint8_t> reply, void* out) {
  *static_cast<Record*>(out) = Decode(reply);
}

}  // namespace

TesterLink::TesterLink() {
  notificationHandler_ = IgnoreNotification;
  replyEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  writeDoneEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  InitializeCriticalSection(&lock_);
  InitializeCriticalSection(&replyLock_);
}

TesterLink::~TesterLink() {
  // The I/O thread calls back into this object: stop it, or detach it when it does not stop.
  Close();
  if (replyEvent_ != nullptr) CloseHandle(replyEvent_);
  if (writeDoneEvent_ != nullptr) CloseHandle(writeDoneEvent_);
  replyEvent_ = nullptr;
  writeDoneEvent_ = nullptr;
  DeleteCriticalSection(&replyLock_);
  DeleteCriticalSection(&lock_);
}

bool TesterLink::Open(const char* serial) {
  // A second Open without Close would leave the old thread holding the device.
  if (context_ != nullptr) Close();

  notificationHandler_ = IgnoreNotification;
  if (serial == nullptr || replyEvent_ == nullptr || writeDoneEvent_ == nullptr) return false;
  IoContext* context = CreateIoContext(ForwardIoEvent, this);
  if (context == nullptr) return false;

  context->device = FT_W32_CreateFile(serial, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, LINK_OPEN_FLAGS, nullptr);
  bool configured = context->device != INVALID_HANDLE_VALUE && context->device != nullptr;
  configured = configured && FT_SetBaudRate(context->device, LINK_BAUD_RATE) == FT_OK;
  configured = configured && FT_SetDataCharacteristics(context->device, FT_BITS_8, FT_STOP_BITS_1,
                                                       FT_PARITY_NONE) == FT_OK;
  configured =
      configured && FT_SetTimeouts(context->device, LINK_TIMEOUT_MS, LINK_TIMEOUT_MS) == FT_OK;

  // Signals left from an earlier session must not answer this one's first exchange.
  ResetEvent(replyEvent_);
  ResetEvent(writeDoneEvent_);

  if (!configured || !StartIoThread(context)) {
    if (context->device != INVALID_HANDLE_VALUE && context->device != nullptr) {
      FT_Close(context->device);
    }
    ReleaseIoContext(context);
    return false;
  }
  context_ = context;

  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildCommandRequest(CMD_HELLO, frame);
  HelloReply hello{};
  // The thread keeps running after a failed greeting; Close stops it.
  if (!Exchange(frame, length, true, CMD_HELLO, DecodeInto<HelloReply, DecodeHello>, &hello)) {
    return false;
  }
  versionLevel_ = hello.versionLevel;
  versionByte2_ = hello.versionByte2;

  ReadSettings();
  return true;
}

void TesterLink::Close() {
  if (context_ == nullptr) return;
  // When the thread does not end in time it keeps the context and frees it as it ends; it no
  // longer reports to this link either way.
  StopIoThread(context_, CLOSE_WAIT_MS);
  ReleaseIoContext(context_);
  context_ = nullptr;
}

bool TesterLink::ReadSetting(std::uint8_t id) {
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildGetSettingRequest(id, frame);
  switch (id) {
    case SETTING_0:
    case SETTING_3: {
      bool flag = false;
      if (!ExchangeLocked(frame, length, true, CMD_GET_SETTING, DecodeInto<bool, DecodeSettingFlag>,
                          &flag)) {
        return false;
      }
      (id == SETTING_0 ? setting0_ : setting3_) = flag;
      return true;
    }
    default: {
      std::uint16_t value = 0;
      if (!ExchangeLocked(frame, length, true, CMD_GET_SETTING,
                          DecodeInto<std::uint16_t, DecodeSettingValue>, &value)) {
        return false;
      }
      (id == SETTING_2 ? setting2_ : setting4_) = value;
      return true;
    }
  }
}

bool TesterLink::ReadSettings() {
  EnterCriticalSection(&lock_);
  bool ok = true;
  for (const std::uint8_t id : {SETTING_0, SETTING_2, SETTING_3, SETTING_4}) {
    if (!ReadSetting(id)) {
      ok = false;
      break;
    }
  }
  LeaveCriticalSection(&lock_);
  return ok;
}

bool TesterLink::GetConnection(ConnectionReply& reply) {
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildCommandRequest(CMD_GET_CONNECTION, frame);
  return Exchange(frame, length, true, CMD_GET_CONNECTION,
                  DecodeInto<ConnectionReply, DecodeConnection>, &reply);
}

bool TesterLink::GetProfiles(ProfileList& list) {
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildCommandRequest(CMD_GET_PROFILES, frame);
  return Exchange(frame, length, true, CMD_GET_PROFILES, DecodeInto<ProfileList, DecodeProfiles>,
                  &list);
}

bool TesterLink::GetStats(StatsReply& stats) {
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildCommandRequest(CMD_GET_STATS, frame);
  return Exchange(frame, length, true, CMD_GET_STATS, DecodeInto<StatsReply, DecodeStats>, &stats);
}

bool TesterLink::SetProfile(std::uint8_t profileId, std::uint16_t voltageMv) {
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildSetProfileRequest(profileId, voltageMv, frame);
  return Exchange(frame, length, true, CMD_SET_PROFILE, nullptr, nullptr);
}

void TesterLink::SendUnchecked(std::uint8_t command, std::uint16_t value) {
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildValueRequest(command, value, frame);
  Exchange(frame, length, false, 0, nullptr, nullptr);
}

void TesterLink::SetDefaultVoltage(std::uint16_t voltageMv) {
  SendUnchecked(CMD_SET_DEFVOLT, voltageMv);
}

void TesterLink::SetDefaultLoad(std::uint16_t loadMa) {
  SendUnchecked(CMD_SET_DEFLOAD, loadMa);
}

void TesterLink::SetLoad(std::uint16_t loadMa) {
  SendUnchecked(CMD_SET_LOAD, loadMa);
}

void TesterLink::SetMaxLoad(std::uint16_t maxLoadMa) {
  EnterCriticalSection(&lock_);
  maxLoad_ = MakeMaxLoadSetting(maxLoadMa);
  std::uint8_t frame[MAX_REQUEST_FRAME];
  const std::size_t length = BuildSetMaxLoadRequest(maxLoad_, frame);
  ExchangeLocked(frame, length, false, 0, nullptr, nullptr);
  LeaveCriticalSection(&lock_);
}

bool TesterLink::Exchange(const std::uint8_t* frame, std::size_t length, bool testReply,
                          std::uint8_t expected, Decoder decode, void* out) {
  EnterCriticalSection(&lock_);
  const bool ok = ExchangeLocked(frame, length, testReply, expected, decode, out);
  LeaveCriticalSection(&lock_);
  return ok;
}

bool TesterLink::ExchangeLocked(const std::uint8_t* frame, std::size_t length, bool testReply,
                                std::uint8_t expected, Decoder decode, void* out) {
  // Without a context (closed, or never opened) there is no thread to answer: fail at once.
  if (context_ == nullptr) return false;
  // A dropped frame (a write still pending) goes on to the waits: the earlier write's completion
  // or reply may still arrive.
  QueueWrite(context_, frame, length);
  if (WaitForSingleObject(writeDoneEvent_, EXCHANGE_WAIT_MS) != WAIT_OBJECT_0) return false;
  if (WaitForSingleObject(replyEvent_, EXCHANGE_WAIT_MS) != WAIT_OBJECT_0) return false;
  if (!testReply) return true;

  EnterCriticalSection(&replyLock_);
  const std::span<const std::uint8_t> reply(reply_, replyLength_);
  const bool ok = ReplyRepeats(reply, expected);
  if (ok && decode != nullptr) decode(reply, out);
  LeaveCriticalSection(&replyLock_);
  return ok;
}

void TesterLink::OnIoEvent(IoContext* context, IoEvent event) {
  switch (event) {
    case IO_STARTED:
      // A new context starts from a clean parser: a frame cut off by an earlier session must not
      // swallow this session's first bytes.
      parser_.Reset();
      context->readLength = ReceiveParser::StartReadLength();
      SetEvent(context->events[IO_SLOT_START_READ]);
      return;
    case IO_WRITE_DONE:
      SetEvent(writeDoneEvent_);
      return;
    case IO_STOPPED:
      return;
    case IO_DATA:
      break;
  }

  const std::size_t received =
      context->receivedCount < IO_BUFFER_SIZE ? context->receivedCount : IO_BUFFER_SIZE;
  std::span<const std::uint8_t> delivery(context->receiveBuffer, received);
  int notifications[IO_BUFFER_SIZE / FRAME_OVERHEAD + 1];
  std::size_t notificationCount = 0;
  bool replyReady = false;
  ParseResult result;
  // Reads are sized to the bytes the current frame still misses, so one pass takes everything;
  // should a delivery hold more, the rest is parsed rather than lost.
  do {
    result = parser_.Feed(delivery);
    delivery = delivery.subspan(result.consumed);
    if (result.notification != 0) {
      if (notificationCount < std::size(notifications)) {
        notifications[notificationCount++] = result.notification;
      }
    } else if (result.replyReady) {
      const std::span<const std::uint8_t> reply = parser_.Reply();
      EnterCriticalSection(&replyLock_);
      std::memcpy(reply_, reply.data(), reply.size());
      replyLength_ = reply.size();
      LeaveCriticalSection(&replyLock_);
      replyReady = true;
    }
  } while (!delivery.empty() && result.consumed > 0);

  // The next read is asked for before the frame is dispatched.
  context->readLength = result.readLength;
  SetEvent(context->events[IO_SLOT_START_READ]);

  for (std::size_t i = 0; i < notificationCount; ++i) notificationHandler_(notifications[i]);
  if (replyReady) SetEvent(replyEvent_);
}

}  // namespace ralvex::link

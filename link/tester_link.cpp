#include "link/tester_link.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "ralvex/bridge.h"

namespace ralvex::link {

namespace {

// The program has no use for the tester's notifications.
void IgnoreNotification(int) {}

}  // namespace

template <class Record>
bool TesterLink::Exchange(const CommandExchange<Record>& command,
                          std::span<const uint8_t> arguments,
                          std::type_identity_t<Record>* record) {
  EnterCriticalSection(&lock_);
  const bool ok = ExchangeLocked(command, arguments, record);
  LeaveCriticalSection(&lock_);
  return ok;
}

template <class Record>
bool TesterLink::ExchangeLocked(const CommandExchange<Record>& command,
                                std::span<const uint8_t> arguments,
                                std::type_identity_t<Record>* record) {
  if (!SendAndWaitLocked(command.command, arguments)) return false;

  EnterCriticalSection(&replyLock_);
  const std::span<const uint8_t> reply(reply_, replyLength_);
  const bool repeats = ReplyRepeats(reply, command.command);
  if (repeats && command.decode != nullptr && record != nullptr) *record = command.decode(reply);
  LeaveCriticalSection(&replyLock_);
  return repeats || !command.replyChecked;
}

SetResult TesterLink::ExchangeSet(const CommandExchange<SetVerdict>& command,
                                  std::span<const uint8_t> arguments) {
  EnterCriticalSection(&lock_);
  const SetResult result = ExchangeSetLocked(command, arguments);
  LeaveCriticalSection(&lock_);
  return result;
}

SetResult TesterLink::ExchangeSetLocked(const CommandExchange<SetVerdict>& command,
                                        std::span<const uint8_t> arguments) {
  SetResult result;
  result.answered = ExchangeLocked(command, arguments, &result.status);
  return result;
}

bool TesterLink::SendAndWaitLocked(uint8_t command, std::span<const uint8_t> arguments) {
  // Without a context (closed, or never opened) there is no thread to answer: fail at once.
  if (context_ == nullptr || arguments.size() > REQUEST_MAX_ARGUMENTS) return false;
  uint8_t payload[1 + REQUEST_MAX_ARGUMENTS] = {command};
  std::copy(arguments.begin(), arguments.end(), payload + 1);
  uint8_t frame[FRAME_MAX_REQUEST_LENGTH];
  const std::size_t length = BuildFrame(std::span(payload).first(1 + arguments.size()), frame);

  // A dropped frame (a write still pending) goes on to the waits: the earlier write's completion
  // or reply may still arrive.
  context_->QueueWrite(std::span(frame).first(length));
  if (WaitForSingleObject(writeDoneEvent_, LINK_EXCHANGE_WAIT_MS) != WAIT_OBJECT_0) return false;
  return WaitForSingleObject(replyEvent_, LINK_EXCHANGE_WAIT_MS) == WAIT_OBJECT_0;
}

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
  IoContext* context = IoContext::Create(ForwardIoEvent, this);
  if (context == nullptr) return false;

  // Signals left from an earlier session must not answer this one's first exchange.
  ResetEvent(replyEvent_);
  ResetEvent(writeDoneEvent_);

  if (!context->OpenDevice(serial) || !context->StartThread()) {
    context->Release();
    return false;
  }
  context_ = context;

  HelloReply hello{};
  // The thread keeps running after a failed greeting; Close stops it.
  if (!Exchange(EXCHANGE_HELLO, {}, &hello)) return false;
  versionLevel_ = hello.versionLevel;
  versionSublevel_ = hello.versionSublevel;

  ReadSettings();
  return true;
}

void TesterLink::Close() {
  if (context_ == nullptr) return;
  // When the thread does not end in time it keeps the context and frees it as it ends; it no
  // longer reports to this link either way.
  context_->Stop(LINK_CLOSE_WAIT_MS);
  context_->Release();
  context_ = nullptr;
}

bool TesterLink::ReadSettings() {
  // Each reply is decoded straight into its field, so a failed read leaves its field, and those
  // after it, as they were.
  const auto read = [this]<class Record>(uint8_t id, const CommandExchange<Record>& command,
                                         Record* field) {
    const uint8_t arguments[] = {id};
    return ExchangeLocked(command, arguments, field);
  };
  EnterCriticalSection(&lock_);
  const bool ok = read(SETTING_FLAG_0, EXCHANGE_GET_SETTING_FLAG, &settings_.flag0) &&
                  read(SETTING_VALUE_2, EXCHANGE_GET_SETTING_VALUE, &settings_.value2) &&
                  read(SETTING_FLAG_3, EXCHANGE_GET_SETTING_FLAG, &settings_.flag3) &&
                  read(SETTING_VALUE_4, EXCHANGE_GET_SETTING_VALUE, &settings_.value4);
  LeaveCriticalSection(&lock_);
  return ok;
}

bool TesterLink::GetConnection(ConnectionReply& reply) {
  return Exchange(EXCHANGE_GET_CONNECTION, {}, &reply);
}

bool TesterLink::GetProfiles(ProfileList& list) {
  return Exchange(EXCHANGE_GET_PROFILES, {}, &list);
}

bool TesterLink::GetStats(StatsReply& stats) {
  return Exchange(EXCHANGE_GET_STATS, {}, &stats);
}

SetResult TesterLink::SetProfile(uint8_t profileId, uint16_t voltageMv) {
  const uint8_t arguments[] = {profileId, LowByte(voltageMv), HighByte(voltageMv)};
  return ExchangeSet(EXCHANGE_SET_PROFILE, arguments);
}

SetResult TesterLink::SendValue(const CommandExchange<SetVerdict>& command, uint16_t value) {
  const uint8_t arguments[] = {LowByte(value), HighByte(value)};
  return ExchangeSet(command, arguments);
}

SetResult TesterLink::SetDefaultVoltage(uint16_t voltageMv) {
  return SendValue(EXCHANGE_SET_DEFVOLT, voltageMv);
}

SetResult TesterLink::SetDefaultLoad(uint16_t loadMa) {
  return SendValue(EXCHANGE_SET_DEFLOAD, loadMa);
}

SetResult TesterLink::SetLoad(uint16_t loadMa) {
  return SendValue(EXCHANGE_SET_LOAD, loadMa);
}

SetResult TesterLink::SetMaxLoad(uint16_t maxLoadMa) {
  EnterCriticalSection(&lock_);
  maxLoad_ = MakeMaxLoadSetting(maxLoadMa);
  uint8_t arguments[REQUEST_MAX_ARGUMENTS];
  const std::size_t length = MaxLoadArguments(maxLoad_, arguments);
  const SetResult result =
      ExchangeSetLocked(EXCHANGE_SET_SETTING, std::span(arguments).first(length));
  LeaveCriticalSection(&lock_);
  return result;
}

void TesterLink::ForwardIoEvent(IoContext& context, void* link, IoEvent event) {
  static_cast<TesterLink*>(link)->OnIoEvent(context, event);
}

void TesterLink::OnIoEvent(IoContext& context, IoEvent event) {
  switch (event) {
    case IO_STARTED:
      // A new context starts from a clean parser: a frame cut off by an earlier session must not
      // swallow this session's first bytes.
      parser_.Reset();
      context.RequestRead(ReceiveParser::StartReadLength());
      return;
    case IO_WRITE_DONE:
      SetEvent(writeDoneEvent_);
      return;
    case IO_DATA:
      OnDelivery(context);
      return;
    case IO_STOPPED:
      return;
  }
}

void TesterLink::OnDelivery(IoContext& context) {
  std::span<const uint8_t> delivery = context.Delivery();
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
      const std::span<const uint8_t> reply = parser_.Reply();
      EnterCriticalSection(&replyLock_);
      std::memcpy(reply_, reply.data(), reply.size());
      replyLength_ = reply.size();
      LeaveCriticalSection(&replyLock_);
      replyReady = true;
    }
  } while (!delivery.empty() && result.consumed > 0);

  // The next read is asked for before the frame is dispatched.
  context.RequestRead(result.readLength);

  for (std::size_t i = 0; i < notificationCount; ++i) notificationHandler_(notifications[i]);
  if (replyReady) SetEvent(replyEvent_);
}

}  // namespace ralvex::link

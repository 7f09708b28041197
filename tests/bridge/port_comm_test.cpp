// The Win32-style comm functions: purge and escape mappings, structures copied byte for byte,
// outputs that may be omitted, arguments refused with a last error.
#include <cstring>

#include "platform/win32.h"
#include "tests/bridge/port_fixture.h"

namespace ralvex::port_test {
namespace {

TEST_F(OpenDeviceTest, PurgeCommMapsWin32FlagsToThePurgeMask) {
  struct Case {
    DWORD flags;
    uint8_t mask;
  };
  const Case cases[] = {
      {0, 0},
      {PURGE_TXABORT, 2},
      {PURGE_TXCLEAR, 2},
      {PURGE_RXABORT, 1},
      {PURGE_RXCLEAR, 1},
      {PURGE_TXCLEAR | PURGE_RXCLEAR, 3},
      {PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR, 3},
      {0x10, 0},  // not a purge flag
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    device_->ClearRequests();
    EXPECT_TRUE(FT_W32_PurgeComm(handle_, c.flags));
    const auto request = Only();
    EXPECT_EQ(request.code, PRIMARY_BASE + 4 * 83);
    EXPECT_EQ(request.input, (Bytes{c.mask, 0, 0, 0}));
  }
}

TEST_F(OpenDeviceTest, EscapeCodesWithoutARequestSucceedAndSendNothing) {
  for (DWORD code : {DWORD{0}, DWORD{1} /* SETXOFF */, DWORD{SETXON}, DWORD{RESETDEV}, DWORD{10},
                     DWORD{0xFFFFFFFF}}) {
    SCOPED_TRACE(code);
    EXPECT_TRUE(FT_W32_EscapeCommFunction(handle_, code));
  }
  EXPECT_TRUE(Sent().empty());

  ASSERT_TRUE(FT_W32_EscapeCommFunction(handle_, SETDTR));
  ASSERT_TRUE(FT_W32_EscapeCommFunction(handle_, SETRTS));
  EXPECT_TRUE(device_->LineState().dtr);
  EXPECT_TRUE(device_->LineState().rts);
  ASSERT_TRUE(FT_W32_EscapeCommFunction(handle_, CLRDTR));
  EXPECT_FALSE(device_->LineState().dtr);

  const FT_HANDLE stale = CloseAndKeep();
  SetLastError(0);
  EXPECT_FALSE(FT_W32_EscapeCommFunction(stale, SETXON));
  EXPECT_EQ(FT_W32_GetLastError(stale), ERROR_INVALID_HANDLE);
}

TEST_F(OpenDeviceTest, SetupCommAcceptsAnOpenHandleAndSendsNothing) {
  EXPECT_TRUE(FT_W32_SetupComm(handle_, 4096, 4096));
  EXPECT_TRUE(Sent().empty());
  const FT_HANDLE stale = CloseAndKeep();
  SetLastError(0);
  EXPECT_FALSE(FT_W32_SetupComm(stale, 4096, 4096));
  EXPECT_EQ(FT_W32_GetLastError(stale), ERROR_INVALID_HANDLE);
}

TEST_F(OpenDeviceTest, CommStateAndTimeoutsRoundTrip) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 38400;
  dcb.fBinary = 1;
  dcb.ByteSize = 7;
  dcb.Parity = 1;
  dcb.StopBits = 2;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  ASSERT_TRUE(FT_W32_SetCommState(handle_, &dcb));
  EXPECT_EQ(device_->LineState().baudRate, 38400u);

  DCB back{};
  back.DCBlength = sizeof back;
  ASSERT_TRUE(FT_W32_GetCommState(handle_, &back));
  EXPECT_EQ(back.BaudRate, 38400u);
  EXPECT_EQ(back.ByteSize, 7);
  EXPECT_EQ(back.Parity, 1);
  EXPECT_EQ(back.StopBits, 2);

  COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 10, 2000};
  ASSERT_TRUE(FT_W32_SetCommTimeouts(handle_, &timeouts));
  COMMTIMEOUTS read{};
  ASSERT_TRUE(FT_W32_GetCommTimeouts(handle_, &read));
  EXPECT_EQ(std::memcmp(&read, &timeouts, sizeof timeouts), 0);

  ASSERT_TRUE(FT_W32_SetCommMask(handle_, 0x0081));
  DWORD mask = 0;
  ASSERT_TRUE(FT_W32_GetCommMask(handle_, &mask));
  EXPECT_EQ(mask, 0x0081u);
}

TEST_F(OpenDeviceTest, ClearCommErrorSplitsTheReplyAndToleratesOmittedOutputs) {
  const uint8_t incoming[3] = {7, 8, 9};
  device_->InjectFromPeer(incoming, sizeof incoming);
  DWORD errors = 0xFFFFFFFF;
  COMSTAT stat{};
  ASSERT_TRUE(FT_W32_ClearCommError(handle_, &errors, &stat));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(stat.cbInQue, 3u);
  EXPECT_EQ(stat.cbOutQue, 0u);

  EXPECT_TRUE(FT_W32_ClearCommError(handle_, nullptr, nullptr));
  EXPECT_TRUE(FT_W32_ClearCommError(handle_, &errors, nullptr));
  EXPECT_EQ(Sent().size(), 3u);
}

TEST_F(OpenDeviceTest, NullRequiredPointersGiveInvalidParameterUnsent) {
  auto refused = [&](BOOL result) {
    const DWORD error = FT_W32_GetLastError(handle_);
    SetLastError(0);
    return result == FALSE && error == ERROR_INVALID_PARAMETER;
  };
  SetLastError(0);
  EXPECT_TRUE(refused(FT_W32_SetCommState(handle_, nullptr)));
  EXPECT_TRUE(refused(FT_W32_GetCommState(handle_, nullptr)));
  EXPECT_TRUE(refused(FT_W32_SetCommTimeouts(handle_, nullptr)));
  EXPECT_TRUE(refused(FT_W32_GetCommTimeouts(handle_, nullptr)));
  EXPECT_TRUE(refused(FT_W32_GetCommMask(handle_, nullptr)));
  EXPECT_TRUE(refused(FT_W32_GetCommModemStatus(handle_, nullptr)));
  EXPECT_TRUE(refused(FT_W32_WaitCommEvent(handle_, nullptr, nullptr)));
  OVERLAPPED overlapped{};
  EXPECT_TRUE(refused(FT_W32_WaitCommEvent(handle_, nullptr, &overlapped)));
  EXPECT_TRUE(Sent().empty());
}

class RefusedCommTest : public OpenDeviceTest {
 protected:
  void SetUp() override {
    auto config = DeviceConfig();
    config.refuse = {72, 99, 101, 112};
    Plug(config);
  }
};

TEST_F(RefusedCommTest, RefusedRepliesLeaveTheCallersStructuresAlone) {
  DCB dcb;
  std::memset(&dcb, 0xA5, sizeof dcb);
  EXPECT_FALSE(FT_W32_GetCommState(handle_, &dcb));
  const auto* bytes = reinterpret_cast<const uint8_t*>(&dcb);
  for (size_t i = 0; i < sizeof dcb; ++i) {
    EXPECT_EQ(bytes[i], 0xA5) << i;
  }

  COMMTIMEOUTS timeouts = {1, 2, 3, 4, 5};
  EXPECT_FALSE(FT_W32_GetCommTimeouts(handle_, &timeouts));
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 5u);

  DWORD errors = 42;
  COMSTAT stat{};
  stat.cbInQue = 42;
  EXPECT_FALSE(FT_W32_ClearCommError(handle_, &errors, &stat));
  EXPECT_EQ(errors, 42u);
  EXPECT_EQ(stat.cbInQue, 42u);

  DWORD mask = 42;
  EXPECT_FALSE(FT_W32_GetCommMask(handle_, &mask));
  EXPECT_EQ(mask, 42u);
}

}  // namespace
}  // namespace ralvex::port_test

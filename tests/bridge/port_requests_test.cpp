// What each configuration function sends: the request code (from the handle's table), the input
// bytes and the output length, checked through the device's request log; how each maps the
// driver's refusal; and that a handle that is not open reaches no device.
#include <cstring>
#include <functional>
#include <string>

#include "platform/win32.h"
#include "tests/bridge/port_fixture.h"

namespace ralvex::port_test {
namespace {

enum Api : uint8_t { API_STATUS, API_BOOL };

struct RequestCase {
  std::string name;
  Api api;
  std::function<uint32_t(FT_HANDLE)> call;
  uint32_t slot;
  Bytes input;
  uint32_t outputLength;
  FT_STATUS refused = FT_IO_ERROR;
};

Bytes WithZeros(Bytes head, size_t total) {
  head.resize(total, 0);
  return head;
}

DCB SampleDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 115200;
  dcb.fBinary = 1;
  dcb.fRtsControl = 2;
  dcb.XonLim = 0x0102;
  dcb.XoffLim = 0x0304;
  dcb.ByteSize = 8;
  dcb.Parity = 2;
  dcb.StopBits = 0;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.EvtChar = 0x7E;
  return dcb;
}

Bytes RawBytes(const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  return Bytes(bytes, bytes + length);
}

std::vector<RequestCase> Cases() {
  static const DCB dcb = SampleDcb();
  static const COMMTIMEOUTS timeouts = {0xFFFFFFFF, 1, 2, 3, 4000};
  const auto S = API_STATUS;
  const auto B = API_BOOL;
  return {
      {"SetBaudRate",
       S,
       [](FT_HANDLE h) { return FT_SetBaudRate(h, 115200); },
       65,
       {0x00, 0xC2, 0x01, 0x00},
       0,
       FT_INVALID_BAUD_RATE},
      {"SetDivisor", S, [](FT_HANDLE h) { return FT_SetDivisor(h, 0x1234); }, 38, {0x34, 0x12}, 0},
      {"SetDataCharacteristics8N1",
       S,
       [](FT_HANDLE h) { return FT_SetDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, 0); },
       67,
       {0x00, 0x00, 0x08},
       0},
      {"SetDataCharacteristics7O2",
       S,
       [](FT_HANDLE h) {
         return FT_SetDataCharacteristics(h, FT_BITS_7, FT_STOP_BITS_2, FT_PARITY_ODD);
       },
       67,
       {0x02, 0x01, 0x07},
       0},
      {"SetFlowControl",
       S,
       [](FT_HANDLE h) { return FT_SetFlowControl(h, 0x0100, 0x11, 0x13); },
       89,
       {0x00, 0x01, 0x11, 0x13},
       0},
      {"SetChars",
       S,
       [](FT_HANDLE h) { return FT_SetChars(h, 0x7E, 1, 0x3F, 0); },
       87,
       {0x7E, 0x01, 0x3F, 0x00},
       0},
      {"SetTimeouts",
       S,
       [](FT_HANDLE h) { return FT_SetTimeouts(h, 10000, 10000); },
       71,
       {0x10, 0x27, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00},
       0},
      {"SetDtr", S, [](FT_HANDLE h) { return FT_SetDtr(h); }, 73, {}, 0},
      {"ClrDtr", S, [](FT_HANDLE h) { return FT_ClrDtr(h); }, 74, {}, 0},
      {"SetRts", S, [](FT_HANDLE h) { return FT_SetRts(h); }, 76, {}, 0},
      {"ClrRts", S, [](FT_HANDLE h) { return FT_ClrRts(h); }, 77, {}, 0},
      {"SetBreakOn", S, [](FT_HANDLE h) { return FT_SetBreakOn(h); }, 68, {}, 0},
      {"SetBreakOff", S, [](FT_HANDLE h) { return FT_SetBreakOff(h); }, 69, {}, 0},
      {"Purge",
       S,
       [](FT_HANDLE h) { return FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX); },
       83,
       {0x03, 0x00, 0x00, 0x00},
       0},
      {"SetLatencyTimer", S, [](FT_HANDLE h) { return FT_SetLatencyTimer(h, 2); }, 92, {0x02}, 0},
      {"GetLatencyTimer",
       S,
       [](FT_HANDLE h) {
         UCHAR timer = 0;
         return FT_GetLatencyTimer(h, &timer);
       },
       93,
       {},
       1},
      {"SetBitMode",
       S,
       [](FT_HANDLE h) { return FT_SetBitMode(h, 0xF0, 0x01); },
       94,
       {0xF0, 0x01},
       0},
      {"GetBitMode",
       S,
       [](FT_HANDLE h) {
         UCHAR mode = 0;
         return FT_GetBitMode(h, &mode);
       },
       95,
       {},
       1},
      {"SetUSBParameters",
       S,
       [](FT_HANDLE h) { return FT_SetUSBParameters(h, 0x10000, 0x200); },
       96,
       {0x00, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00},
       0},
      {"SetDeadmanTimeout",
       S,
       [](FT_HANDLE h) { return FT_SetDeadmanTimeout(h, 6000); },
       107,
       {0x70, 0x17, 0x00, 0x00},
       0},
      {"SetResetPipeRetryCount",
       S,
       [](FT_HANDLE h) { return FT_SetResetPipeRetryCount(h, 100); },
       105,
       {0x64, 0x00, 0x00, 0x00},
       0},
      {"SetWaitMask",
       S,
       [](FT_HANDLE h) { return FT_SetWaitMask(h, 0x0102); },
       81,
       {0x02, 0x01, 0x00, 0x00},
       0},
      {"GetStatus", S,
       [](FT_HANDLE h) {
         DWORD rx = 0, tx = 0, event = 0;
         return FT_GetStatus(h, &rx, &tx, &event);
       },
       37, Bytes(12, 0), 12},
      // The word queries send the caller's word as their input.
      {"GetModemStatus",
       S,
       [](FT_HANDLE h) {
         ULONG word = 0xAABBCCDD;
         return FT_GetModemStatus(h, &word);
       },
       90,
       {0xDD, 0xCC, 0xBB, 0xAA},
       4},
      {"GetQueueStatus",
       S,
       [](FT_HANDLE h) {
         DWORD word = 0x01020304;
         return FT_GetQueueStatus(h, &word);
       },
       91,
       {0x04, 0x03, 0x02, 0x01},
       4},
      {"GetQueueStatusEx",
       S,
       [](FT_HANDLE h) {
         DWORD word = 7;
         return FT_GetQueueStatusEx(h, &word);
       },
       118,
       {0x07, 0x00, 0x00, 0x00},
       4},
      {"GetEventStatus",
       S,
       [](FT_HANDLE h) {
         DWORD word = 0;
         return FT_GetEventStatus(h, &word);
       },
       36,
       {0x00, 0x00, 0x00, 0x00},
       4},
      {"GetComPortNumber",
       S,
       [](FT_HANDLE h) {
         LONG port = 0;
         return FT_GetComPortNumber(h, &port);
       },
       114,
       {},
       4},
      {"ComPortIdle", S, [](FT_HANDLE h) { return FT_ComPortIdle(h); }, 119, {}, 0},
      {"ComPortCancelIdle", S, [](FT_HANDLE h) { return FT_ComPortCancelIdle(h); }, 120, {}, 0},
      {"VendorCmdGet", S,
       [](FT_HANDLE h) {
         UCHAR data[2] = {};
         return FT_VendorCmdGet(h, 0x05, data, 2);
       },
       121, WithZeros({0x05, 0x00, 0x02, 0x00}, 132), 132},
      {"VendorCmdSet", S,
       [](FT_HANDLE h) {
         UCHAR data[2] = {0xAA, 0xBB};
         return FT_VendorCmdSet(h, 0x05, data, 2);
       },
       122, WithZeros({0x05, 0x00, 0x02, 0x00, 0xAA, 0xBB}, 132), 0},
      {"VendorCmdGetEx", S,
       [](FT_HANDLE h) {
         UCHAR data[3] = {};
         return FT_VendorCmdGetEx(h, 0x0110, data, 3);
       },
       123, WithZeros({0x10, 0x01, 0x00, 0x00, 0x03, 0x00}, 134), 134},
      {"VendorCmdSetEx", S,
       [](FT_HANDLE h) {
         UCHAR data[128];
         for (int i = 0; i < 128; ++i) {
           data[i] = static_cast<UCHAR>(i + 1);
         }
         return FT_VendorCmdSetEx(h, 0x0110, data, 128);
       },
       124,
       [] {
         Bytes bytes = {0x10, 0x01, 0x00, 0x00, 0x80, 0x00};
         for (int i = 0; i < 128; ++i) {
           bytes.push_back(static_cast<uint8_t>(i + 1));
         }
         return bytes;
       }(),
       0},
      {"W32SetCommState", B,
       [](FT_HANDLE h) {
         DCB copy = dcb;
         return static_cast<uint32_t>(FT_W32_SetCommState(h, &copy));
       },
       100, RawBytes(&dcb, 28), 0},
      {"W32GetCommState",
       B,
       [](FT_HANDLE h) {
         DCB out = dcb;
         return static_cast<uint32_t>(FT_W32_GetCommState(h, &out));
       },
       101,
       {},
       28},
      {"W32SetCommTimeouts", B,
       [](FT_HANDLE h) {
         COMMTIMEOUTS copy = timeouts;
         return static_cast<uint32_t>(FT_W32_SetCommTimeouts(h, &copy));
       },
       71, RawBytes(&timeouts, 20), 0},
      {"W32GetCommTimeouts",
       B,
       [](FT_HANDLE h) {
         COMMTIMEOUTS out{};
         return static_cast<uint32_t>(FT_W32_GetCommTimeouts(h, &out));
       },
       72,
       {},
       20},
      {"W32SetCommMask",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_SetCommMask(h, 0x1FF)); },
       97,
       {0xFF, 0x01, 0x00, 0x00},
       0},
      {"W32GetCommMask",
       B,
       [](FT_HANDLE h) {
         DWORD mask = 0;
         return static_cast<uint32_t>(FT_W32_GetCommMask(h, &mask));
       },
       112,
       {},
       4},
      {"W32GetCommModemStatus",
       B,
       [](FT_HANDLE h) {
         DWORD status = 0;
         return static_cast<uint32_t>(FT_W32_GetCommModemStatus(h, &status));
       },
       90,
       {},
       4},
      {"W32ClearCommError", B,
       [](FT_HANDLE h) {
         DWORD errors = 0;
         COMSTAT stat{};
         return static_cast<uint32_t>(FT_W32_ClearCommError(h, &errors, &stat));
       },
       99, Bytes(16, 0), 16},
      {"W32PurgeCommBoth",
       B,
       [](FT_HANDLE h) {
         return static_cast<uint32_t>(FT_W32_PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR));
       },
       83,
       {0x03, 0x00, 0x00, 0x00},
       0},
      {"W32SetCommBreak",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_SetCommBreak(h)); },
       68,
       {},
       0},
      {"W32ClearCommBreak",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_ClearCommBreak(h)); },
       69,
       {},
       0},
      {"W32EscapeSetRts",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_EscapeCommFunction(h, SETRTS)); },
       76,
       {},
       0},
      {"W32EscapeClrRts",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_EscapeCommFunction(h, CLRRTS)); },
       77,
       {},
       0},
      {"W32EscapeSetDtr",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_EscapeCommFunction(h, SETDTR)); },
       73,
       {},
       0},
      {"W32EscapeClrDtr",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_EscapeCommFunction(h, CLRDTR)); },
       74,
       {},
       0},
      {"W32EscapeSetBreak",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_EscapeCommFunction(h, SETBREAK)); },
       68,
       {},
       0},
      {"W32EscapeClrBreak",
       B,
       [](FT_HANDLE h) { return static_cast<uint32_t>(FT_W32_EscapeCommFunction(h, CLRBREAK)); },
       69,
       {},
       0},
  };
}

// Every slot the cases use, for a device that refuses them all.
std::vector<uint32_t> CaseSlots() {
  std::vector<uint32_t> slots;
  for (const auto& c : Cases()) {
    slots.push_back(c.slot);
  }
  return slots;
}

bool Accepted(const RequestCase& c, uint32_t result) {
  return c.api == API_STATUS ? result == FT_OK : result != FALSE;
}

struct TableKind {
  const char* name;
  bool alternate;
};

void PrintTo(const TableKind& kind, std::ostream* out) {
  *out << kind.name;
}

class RequestTableTest : public OpenDeviceTest, public ::testing::WithParamInterface<TableKind> {
 protected:
  void SetUp() override {
    auto config = DeviceConfig();
    config.alternateRequests = GetParam().alternate;
    Plug(config);
  }
  uint32_t Base() const { return GetParam().alternate ? ALTERNATE_BASE : PRIMARY_BASE; }
};

TEST_P(RequestTableTest, EachFunctionSendsItsCodeAndPayload) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.name);
    device_->ClearRequests();
    EXPECT_TRUE(Accepted(c, c.call(handle_)));
    const auto request = Only();
    EXPECT_EQ(request.code, Base() + 4 * c.slot);
    EXPECT_EQ(request.input, c.input);
    EXPECT_EQ(request.outputLength, c.outputLength);
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, RequestTableTest,
                         ::testing::Values(TableKind{"Primary", false},
                                           TableKind{"Alternate", true}),
                         [](const auto& info) { return std::string(info.param.name); });

class RefusingDeviceTest : public OpenDeviceTest {
 protected:
  void SetUp() override {
    auto config = DeviceConfig();
    config.refuse = CaseSlots();
    Plug(config);
  }
};

TEST_F(RefusingDeviceTest, RefusalMapsToIoErrorOrFalseAndTheHandleStaysOpen) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.name);
    device_->ClearRequests();
    SetLastError(0);
    const uint32_t result = c.call(handle_);
    if (c.api == API_STATUS) {
      EXPECT_EQ(result, c.refused);
    } else {
      EXPECT_EQ(result, static_cast<uint32_t>(FALSE));
      const DWORD error = FT_W32_GetLastError(handle_);
      EXPECT_NE(error, 0u);
      EXPECT_NE(error, ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(Only().code, PRIMARY_BASE + 4 * c.slot);
  }
  // Still open: a request the device serves goes through.
  DWORD version = 0;
  EXPECT_EQ(FT_GetDriverVersion(handle_, &version), FT_OK);
}

TEST_F(OpenDeviceTest, ClosedHandleIsRefusedAndReachesNoDevice) {
  const FT_HANDLE stale = CloseAndKeep();
  for (FT_HANDLE bad : {stale, static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE)}) {
    for (const auto& c : Cases()) {
      SCOPED_TRACE(c.name);
      SetLastError(0);
      const uint32_t result = c.call(bad);
      if (c.api == API_STATUS) {
        EXPECT_EQ(result, FT_INVALID_HANDLE);
      } else {
        EXPECT_EQ(result, static_cast<uint32_t>(FALSE));
        EXPECT_EQ(FT_W32_GetLastError(bad), ERROR_INVALID_HANDLE);
      }
    }
  }
  EXPECT_TRUE(Sent().empty());
}

TEST_F(OpenDeviceTest, EventNotificationCarriesHandleMaskAndParameter) {
  const auto param = reinterpret_cast<PVOID>(static_cast<uintptr_t>(0x12345678));
  ASSERT_EQ(FT_SetEventNotification(handle_, 0x81, param), FT_OK);
  const auto request = Only();
  EXPECT_EQ(request.code, PRIMARY_BASE + 4 * 35);
  const auto handleBits = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle_));
  Bytes expected(12);
  for (int i = 0; i < 4; ++i) {
    expected[i] = static_cast<uint8_t>(handleBits >> (8 * i));
  }
  expected[4] = 0x81;
  expected[8] = 0x78;
  expected[9] = 0x56;
  expected[10] = 0x34;
  expected[11] = 0x12;
  EXPECT_EQ(request.input, expected);
  EXPECT_EQ(request.outputLength, 0u);

  const FT_HANDLE stale = CloseAndKeep();
  EXPECT_EQ(FT_SetEventNotification(stale, 0x81, param), FT_INVALID_HANDLE);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace ralvex::port_test

// How the configuration functions hand the driver's replies to the caller: the words and bytes
// they write, the outputs they leave alone when the driver refuses, the null pointers and vendor
// lengths they refuse before anything is sent.
#include <cstring>

#include "platform/win32.h"
#include "tests/bridge/port_fixture.h"

namespace ralvex::port_test {
namespace {

TEST_F(OpenDeviceTest, LineSettingsReachTheDevice) {
  ASSERT_EQ(FT_SetBaudRate(handle_, 115200), FT_OK);
  ASSERT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_7, FT_STOP_BITS_2, FT_PARITY_EVEN), FT_OK);
  ASSERT_EQ(FT_SetFlowControl(handle_, 0x0400, 0x21, 0x23), FT_OK);
  const auto line = device_->LineState();
  EXPECT_EQ(line.baudRate, 115200u);
  EXPECT_EQ(line.wordLength, 7);
  EXPECT_EQ(line.stopBits, 2);
  EXPECT_EQ(line.parity, 2);
  EXPECT_EQ(line.flowControl, 0x0400);
  EXPECT_EQ(line.xonChar, 0x21);
  EXPECT_EQ(line.xoffChar, 0x23);
}

TEST_F(OpenDeviceTest, BaudRateTheDriverRefusesIsInvalidBaudRateNotIoError) {
  EXPECT_EQ(FT_SetBaudRate(handle_, 0), FT_INVALID_BAUD_RATE);
  EXPECT_EQ(Only().input, (Bytes{0, 0, 0, 0}));
  // Nothing changed, and the handle still works.
  EXPECT_EQ(device_->LineState().baudRate, 9600u);
  EXPECT_EQ(FT_SetBaudRate(handle_, 57600), FT_OK);
}

TEST_F(OpenDeviceTest, ByteAndWordRepliesAreWritten) {
  UCHAR timer = 0;
  ASSERT_EQ(FT_SetLatencyTimer(handle_, 3), FT_OK);
  ASSERT_EQ(FT_GetLatencyTimer(handle_, &timer), FT_OK);
  EXPECT_EQ(timer, 3);

  const uint8_t incoming[5] = {1, 2, 3, 4, 5};
  device_->InjectFromPeer(incoming, sizeof incoming);
  DWORD queued = 0;
  ASSERT_EQ(FT_GetQueueStatus(handle_, &queued), FT_OK);
  EXPECT_EQ(queued, 5u);
  queued = 0;
  ASSERT_EQ(FT_GetQueueStatusEx(handle_, &queued), FT_OK);
  EXPECT_EQ(queued, 5u);

  DWORD rx = 99, tx = 99, event = 99;
  ASSERT_EQ(FT_GetStatus(handle_, &rx, &tx, &event), FT_OK);
  EXPECT_EQ(rx, 5u);
  EXPECT_EQ(tx, 0u);
  EXPECT_EQ(event, 1u);  // bytes arrived: the receive event, from the third word of the reply

  ASSERT_EQ(FT_Purge(handle_, FT_PURGE_RX), FT_OK);
  ASSERT_EQ(FT_GetQueueStatus(handle_, &queued), FT_OK);
  EXPECT_EQ(queued, 0u);
}

TEST_F(OpenDeviceTest, NullRequiredPointersAreRefusedBeforeAnythingIsSent) {
  DWORD word = 0;
  EXPECT_EQ(FT_GetLatencyTimer(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetBitMode(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_WaitOnMask(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetStatus(handle_, nullptr, &word, &word), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetStatus(handle_, &word, nullptr, &word), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetStatus(handle_, &word, &word, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetModemStatus(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetQueueStatus(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetQueueStatusEx(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetEventStatus(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetComPortNumber(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_TRUE(Sent().empty());
}

class RefusedQueriesTest : public OpenDeviceTest {
 protected:
  void SetUp() override {
    auto config = DeviceConfig();
    config.refuse = {37, 90, 91, 93, 95, 114, 121, 123};
    Plug(config);
  }
};

TEST_F(RefusedQueriesTest, RefusedQueryLeavesTheCallersOutputAlone) {
  UCHAR byte = 0x5A;
  EXPECT_EQ(FT_GetLatencyTimer(handle_, &byte), FT_IO_ERROR);
  EXPECT_EQ(FT_GetBitMode(handle_, &byte), FT_IO_ERROR);
  EXPECT_EQ(byte, 0x5A);

  DWORD rx = 1, tx = 2, event = 3;
  EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &event), FT_IO_ERROR);
  EXPECT_EQ(rx, 1u);
  EXPECT_EQ(tx, 2u);
  EXPECT_EQ(event, 3u);

  ULONG modem = 0xAABBCCDD;
  EXPECT_EQ(FT_GetModemStatus(handle_, &modem), FT_IO_ERROR);
  EXPECT_EQ(modem, 0xAABBCCDDu);
  DWORD queued = 0x11223344;
  EXPECT_EQ(FT_GetQueueStatus(handle_, &queued), FT_IO_ERROR);
  EXPECT_EQ(queued, 0x11223344u);

  UCHAR data[4] = {9, 9, 9, 9};
  EXPECT_EQ(FT_VendorCmdGet(handle_, 1, data, 4), FT_IO_ERROR);
  EXPECT_EQ(FT_VendorCmdGetEx(handle_, 1, data, 4), FT_IO_ERROR);
  EXPECT_EQ(data[0], 9);
  EXPECT_EQ(data[3], 9);
}

TEST_F(RefusedQueriesTest, RefusedComPortQueryStillTurnsZeroIntoNoPort) {
  LONG port = 0;
  EXPECT_EQ(FT_GetComPortNumber(handle_, &port), FT_IO_ERROR);
  EXPECT_EQ(port, -1);
  port = 5;
  EXPECT_EQ(FT_GetComPortNumber(handle_, &port), FT_IO_ERROR);
  EXPECT_EQ(port, 5);
}

TEST_F(OpenDeviceTest, DeviceWithoutComPortReportsMinusOne) {
  LONG port = 12;
  ASSERT_EQ(FT_GetComPortNumber(handle_, &port), FT_OK);
  EXPECT_EQ(port, -1);
  EXPECT_EQ(Only().code, PRIMARY_BASE + 4 * 114);
}

TEST_F(OpenDeviceTest, ComPortNumberIsReported) {
  auto config = DeviceConfig("PORT0002");
  config.comPort = 7;
  bench_.AddDevice(config);
  FT_HANDLE second = nullptr;
  ASSERT_EQ(FT_Open(1, &second), FT_OK);
  LONG port = 0;
  EXPECT_EQ(FT_GetComPortNumber(second, &port), FT_OK);
  EXPECT_EQ(port, 7);
  EXPECT_EQ(FT_Close(second), FT_OK);
}

// ---- vendor requests ----

TEST_F(OpenDeviceTest, VendorGetCopiesExactlyLengthBytesOfTheDataArea) {
  UCHAR written[4] = {0xA1, 0xB2, 0xC3, 0xD4};
  ASSERT_EQ(FT_VendorCmdSetEx(handle_, 0x0010, written, 4), FT_OK);
  // Long form: the data starts at offset 6 of the reply; with length 2 only its first two bytes
  // reach the caller.
  UCHAR read[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(FT_VendorCmdGetEx(handle_, 0x0010, read, 2), FT_OK);
  EXPECT_EQ(read[0], 0xA1);
  EXPECT_EQ(read[1], 0xB2);
  EXPECT_EQ(read[2], 0xEE);
  EXPECT_EQ(read[3], 0xEE);

  // Short form: the data starts at offset 4.
  ASSERT_EQ(FT_VendorCmdSet(handle_, 0x20, written, 3), FT_OK);
  UCHAR shortRead[3] = {};
  ASSERT_EQ(FT_VendorCmdGet(handle_, 0x20, shortRead, 3), FT_OK);
  EXPECT_EQ(shortRead[0], 0xA1);
  EXPECT_EQ(shortRead[1], 0xB2);
  EXPECT_EQ(shortRead[2], 0xC3);
}

TEST_F(OpenDeviceTest, VendorLengthBeyondTheDataAreaIsRefusedUnsent) {
  UCHAR big[200] = {};
  EXPECT_EQ(FT_VendorCmdGet(handle_, 1, big, 129), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_VendorCmdSet(handle_, 1, big, 129), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_VendorCmdGetEx(handle_, 1, big, 0xFFFF), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_VendorCmdSetEx(handle_, 1, big, 200), FT_INVALID_PARAMETER);
  EXPECT_TRUE(Sent().empty());

  // 128 bytes is the whole data area and goes through.
  EXPECT_EQ(FT_VendorCmdGet(handle_, 1, big, 128), FT_OK);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(OpenDeviceTest, VendorNullBufferIsOnlyFineWithoutData) {
  EXPECT_EQ(FT_VendorCmdGet(handle_, 1, nullptr, 1), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_VendorCmdSetEx(handle_, 1, nullptr, 2), FT_INVALID_PARAMETER);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(FT_VendorCmdSet(handle_, 1, nullptr, 0), FT_OK);
  EXPECT_EQ(FT_VendorCmdGetEx(handle_, 1, nullptr, 0), FT_OK);
  EXPECT_EQ(Sent().size(), 2u);
}

}  // namespace
}  // namespace ralvex::port_test

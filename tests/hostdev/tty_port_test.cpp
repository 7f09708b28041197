// The device file on a pseudo-terminal, through the FT_* interface: identity, line settings read
// back from the tty, modem lines, purge, refused requests (and the tester link's line on them),
// exclusive use.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "link/io_context.h"
#include "tests/hostdev/pty_fixture.h"
#include "tests/hostdev/pty_termios.h"

namespace ralvex::hostdev_test {
namespace {

// Flow-control modes of the bridge.
constexpr USHORT FLOW_NONE = 0x0000;
constexpr USHORT FLOW_RTS_CTS = 0x0100;
constexpr USHORT FLOW_DTR_DSR = 0x0200;
constexpr USHORT FLOW_XON_XOFF = 0x0400;

class TtyPort : public PtyPortTest {
 protected:
  termios Termios() const {
    termios tio{};
    EXPECT_EQ(tcgetattr(master_, &tio), 0);
    return tio;
  }

  // Waits until the port's receive queue holds `count` bytes (the pseudo-terminal moves them
  // asynchronously).
  DWORD QueueAfterSettling(DWORD count) const {
    DWORD queued = 0;
    for (int i = 0; i < 200; ++i) {
      EXPECT_EQ(FT_GetQueueStatus(handle_, &queued), FT_OK);
      if (queued == count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return queued;
  }
};

TEST_F(TtyPort, ListsAndReportsTheIdentityFromSysfs) {
  DWORD count = 0;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  ASSERT_EQ(count, 1u);
  DWORD flags = 9, type = 0, id = 0, location = 0;
  char serial[16] = {}, description[64] = {};
  ASSERT_EQ(FT_GetDeviceInfoDetail(0, &flags, &type, &id, &location, serial, description, nullptr),
            FT_OK);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(type, static_cast<DWORD>(FT_DEVICE_232R));
  EXPECT_EQ(id, 0x04036001u);
  EXPECT_EQ(location, 0x121u);
  EXPECT_STREQ(serial, "KORA4VLH7Y");
  EXPECT_STREQ(description, "PD Tester");

  FT_HANDLE byLocation = nullptr;
  ASSERT_EQ(FT_OpenEx(reinterpret_cast<PVOID>(uintptr_t{0x121}), FT_OPEN_BY_LOCATION, &byLocation),
            FT_OK);
  LONG port = 0;
  EXPECT_EQ(FT_GetComPortNumber(byLocation, &port), FT_OK);
  EXPECT_EQ(port, -1);
  EXPECT_EQ(FT_Close(byLocation), FT_OK);
}

TEST_F(TtyPort, LineSettingsReachTheTty) {
  OpenPort();
  ASSERT_EQ(FT_SetBaudRate(handle_, 115200), FT_OK);
  EXPECT_EQ(TtyOutputRate(master_), 115200u);
  // Any rate, not only the standard ones.
  ASSERT_EQ(FT_SetBaudRate(handle_, 250000), FT_OK);
  EXPECT_EQ(TtyOutputRate(master_), 250000u);
  EXPECT_EQ(FT_SetBaudRate(handle_, 0), FT_INVALID_BAUD_RATE);

  struct Format {
    UCHAR bits, stop, parity;
    tcflag_t expected;  // what a serial tty holds then
  };
  const Format formats[] = {
      {FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE, CS8},
      {FT_BITS_7, FT_STOP_BITS_2, FT_PARITY_ODD, CS7 | CSTOPB | PARENB | PARODD},
      {FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN, CS8 | PARENB},
      {FT_BITS_7, FT_STOP_BITS_1, FT_PARITY_MARK, CS7 | PARENB | PARODD | CMSPAR},
      {FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_SPACE, CS8 | CSTOPB | PARENB | CMSPAR},
  };
  // A pseudo-terminal always keeps eight bits without a parity bit (it forces CS8 and clears
  // PARENB); the other format bits it stores as given.
  constexpr tcflag_t FORMAT_BITS = CSTOPB | PARODD | CMSPAR;
  for (const Format& f : formats) {
    ASSERT_EQ(FT_SetDataCharacteristics(handle_, f.bits, f.stop, f.parity), FT_OK);
    EXPECT_EQ(Termios().c_cflag & FORMAT_BITS, f.expected & FORMAT_BITS)
        << int{f.bits} << int{f.parity};
  }
  // One and a half stop bits, odd word lengths and unknown parities have no termios form.
  const tcflag_t before = Termios().c_cflag;
  EXPECT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_8, 1, FT_PARITY_NONE), FT_IO_ERROR);
  EXPECT_EQ(FT_SetDataCharacteristics(handle_, 9, FT_STOP_BITS_1, FT_PARITY_NONE), FT_IO_ERROR);
  EXPECT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_8, FT_STOP_BITS_1, 5), FT_IO_ERROR);
  EXPECT_EQ(Termios().c_cflag, before);

  ASSERT_EQ(FT_SetFlowControl(handle_, FLOW_RTS_CTS, 0x11, 0x13), FT_OK);
  EXPECT_NE(Termios().c_cflag & CRTSCTS, 0u);
  ASSERT_EQ(FT_SetFlowControl(handle_, FLOW_XON_XOFF, 0x21, 0x23), FT_OK);
  termios tio = Termios();
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
  EXPECT_EQ(tio.c_cc[VSTART], 0x21);
  EXPECT_EQ(tio.c_cc[VSTOP], 0x23);
  EXPECT_EQ(FT_SetFlowControl(handle_, FLOW_DTR_DSR, 0, 0), FT_IO_ERROR);
  ASSERT_EQ(FT_SetFlowControl(handle_, FLOW_NONE, 0, 0), FT_OK);
  EXPECT_EQ(Termios().c_iflag & (IXON | IXOFF), 0u);

  // The line is binary from the open on: no echo, no translation, no line editing.
  tio = Termios();
  EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(TtyPort, ModemLinesOnATtyWithoutThem) {
  OpenPort();
  // A pseudo-terminal has no modem lines: the requests are taken, the inputs read as a
  // null-modem cable whose far end is up.
  for (auto request : {FT_SetDtr, FT_ClrDtr, FT_SetRts, FT_ClrRts, FT_SetBreakOn, FT_SetBreakOff}) {
    EXPECT_EQ(request(handle_), FT_OK);
  }
  ULONG status = 0;
  ASSERT_EQ(FT_GetModemStatus(handle_, &status), FT_OK);
  EXPECT_EQ(status, 0x30u);
}

TEST_F(TtyPort, QueuesAndPurge) {
  OpenPort();
  Send("abcdef");
  EXPECT_EQ(QueueAfterSettling(6), 6u);
  DWORD rx = 0, tx = 9, events = 0;
  ASSERT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_OK);
  EXPECT_EQ(rx, 6u);
  EXPECT_EQ(tx, 0u);
  EXPECT_EQ(events & 1u, 1u);
  ASSERT_EQ(FT_Purge(handle_, FT_PURGE_TX), FT_OK);
  EXPECT_EQ(QueueAfterSettling(6), 6u);
  ASSERT_EQ(FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
  EXPECT_EQ(QueueAfterSettling(0), 0u);

  // What arrives after the purge is read as sent.
  Send("xyz");
  ASSERT_EQ(FT_SetTimeouts(handle_, 1000, 1000), FT_OK);
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_EQ(FT_Read(handle_, buffer, 3, &got), FT_OK);
  EXPECT_EQ(std::string(buffer, got), "xyz");
  DWORD written = 0;
  ASSERT_EQ(FT_Write(handle_, const_cast<char*>("hello"), 5, &written), FT_OK);
  EXPECT_EQ(written, 5u);
  char echoed[8] = {};
  EXPECT_EQ(read(master_, echoed, sizeof echoed), 5);
  EXPECT_STREQ(echoed, "hello");
}

TEST_F(TtyPort, RequestsATtyCannotCarryAreRefusedAndTheHandleStaysUsable) {
  OpenPort();
  EXPECT_EQ(FT_SetBitMode(handle_, 0xFF, 1), FT_IO_ERROR);
  EXPECT_EQ(FT_SetUSBParameters(handle_, 4096, 4096), FT_IO_ERROR);
  EXPECT_EQ(FT_SetDivisor(handle_, 26), FT_IO_ERROR);
  EXPECT_EQ(FT_ResetDevice(handle_), FT_IO_ERROR);
  EXPECT_EQ(FT_SetChars(handle_, 0x7E, 1, 0, 0), FT_IO_ERROR);
  EXPECT_EQ(FT_SetChars(handle_, 0, 0, 0, 0), FT_OK);
  UCHAR latency = 0;
  ASSERT_EQ(FT_SetLatencyTimer(handle_, 2), FT_OK);
  ASSERT_EQ(FT_GetLatencyTimer(handle_, &latency), FT_OK);
  EXPECT_EQ(latency, 2);
}

class TtyPortWithLatency : public TtyPort {
 protected:
  TtyPortWithLatency() { port_.latencyAttribute = true; }
};

TEST_F(TtyPort, SpecialCharactersAreTakenOnlyWhenNoneIsEnabled) {
  // The kernel driver has no event or error character: a request that enables either is refused,
  // whatever the character; one that enables neither changes nothing and passes.
  const struct {
    UCHAR eventChar, eventEnabled, errorChar, errorEnabled;
    FT_STATUS status;
  } cases[] = {
      {0x03, 1, 0, 0, FT_IO_ERROR},  // the tester link's frame end byte
      {0x03, 0, 0, 0, FT_OK},          {0x00, 1, 0, 0, FT_IO_ERROR},
      {0x00, 0, 0x3F, 1, FT_IO_ERROR}, {0x7E, 0, 0x3F, 0, FT_OK},
  };
  OpenPort();
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.eventChar} << "/" << int{c.eventEnabled} << " "
                                      << int{c.errorChar} << "/" << int{c.errorEnabled});
    EXPECT_EQ(FT_SetChars(handle_, c.eventChar, c.eventEnabled, c.errorChar, c.errorEnabled),
              c.status);
  }
  DWORD written = 0;
  EXPECT_EQ(FT_Write(handle_, const_cast<char*>("ok"), 2, &written), FT_OK);
}

TEST_F(TtyPortWithLatency, GoesThroughThePortsSysfsAttribute) {
  OpenPort();
  ASSERT_EQ(FT_SetLatencyTimer(handle_, 4), FT_OK);
  std::ifstream attribute(FakeUsbDeviceFolder(dir_ + "/sys", port_) / "1-2:1.0/ttyUSB0" /
                          "latency_timer");
  int value = 0;
  attribute >> value;
  EXPECT_EQ(value, 4);
}

TEST_F(TtyPortWithLatency, TesterLinkKeepsTheLatencyTimerAsItsFastestPath) {
  // The link asks for the frame end byte as event character after lowering the timer; the port
  // refuses it, the device stays open, and replies go on the 1 ms timer. Close gives 16 back.
  const std::filesystem::path attribute =
      FakeUsbDeviceFolder(dir_ + "/sys", port_) / "1-2:1.0/ttyUSB0" / "latency_timer";
  const auto latency = [&attribute] {
    int value = 0;
    std::ifstream(attribute) >> value;
    return value;
  };
  link::IoContext* context = link::IoContext::Create(nullptr, nullptr);
  ASSERT_NE(context, nullptr);
  EXPECT_TRUE(context->OpenDevice(port_.serial.c_str()));
  EXPECT_EQ(latency(), 1);
  context->Release();
  EXPECT_EQ(latency(), 16);
}

TEST_F(TtyPort, OneOpenAtATimeWhoeverAsks) {
  OpenPort();
  FT_HANDLE second = nullptr;
  EXPECT_EQ(FT_Open(0, &second), FT_DEVICE_NOT_OPENED);
  DWORD count = 0, flags = 0;
  FT_HANDLE listed = nullptr;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  ASSERT_EQ(FT_GetDeviceInfoDetail(0, &flags, nullptr, nullptr, nullptr, nullptr, nullptr, &listed),
            FT_OK);
  EXPECT_EQ(flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
  EXPECT_EQ(listed, handle_);
  ASSERT_EQ(FT_Close(handle_), FT_OK);
  handle_ = nullptr;

  // Another program's lock on the tty keeps the layer out until it is let go.
  const int other = open((dir_ + "/dev/ttyUSB0").c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(FT_Open(0, &handle_), FT_DEVICE_NOT_OPENED);
  close(other);
  EXPECT_EQ(FT_Open(0, &handle_), FT_OK);
}

TEST_F(TtyPort, EveryEnumerationSeesPlugsAndUnplugs) {
  auto count = [] {
    DWORD n = 99;
    EXPECT_EQ(FT_ListDevices(&n, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    return n;
  };
  EXPECT_EQ(count(), 1u);
  RemoveFakeUsbPort(dir_ + "/sys", port_);
  EXPECT_EQ(count(), 0u);
  EXPECT_EQ(FT_Open(0, &handle_), FT_DEVICE_NOT_FOUND);
  AddFakeUsbPort(dir_ + "/sys", port_);
  EXPECT_EQ(count(), 1u);
  ASSERT_EQ(FT_Open(0, &handle_), FT_OK);
  // A port that leaves while open keeps its handle until it is closed.
  RemoveFakeUsbPort(dir_ + "/sys", port_);
  EXPECT_EQ(count(), 0u);
  EXPECT_EQ(FT_SetBaudRate(handle_, 9600), FT_OK);
}

}  // namespace
}  // namespace ralvex::hostdev_test

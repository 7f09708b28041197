// Reads and writes on a pseudo-terminal port: the serial time-out rules measured in wall time,
// cancel and close with a read pending, and the far end going away.
#include <chrono>
#include <string>
#include <thread>

#include "platform/win32.h"
#include "tests/hostdev/pty_fixture.h"

namespace ralvex::hostdev_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A loaded machine may be late, never early.
constexpr auto LATE_ALLOWANCE = milliseconds(400);
constexpr auto EARLY_ALLOWANCE = milliseconds(5);

class TtyTransfer : public PtyPortTest {
 protected:
  void SetCommTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    ASSERT_TRUE(FT_W32_SetCommTimeouts(handle_, &t));
  }

  // Opens the port for overlapped I/O, as the tester link does.
  void OpenOverlapped() {
    handle_ =
        FT_W32_CreateFile("KORA4VLH7Y", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED | FT_OPEN_BY_SERIAL_NUMBER, nullptr);
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
  }
};

TEST_F(TtyTransfer, ReadTimeoutsFollowTheSerialRules) {
  struct Case {
    const char* name;
    DWORD interval, multiplier, constant;
    std::string before;  // sent before the read starts
    std::string during;  // sent 100 ms into the read
    std::string expected;
    milliseconds takes;  // from the start of the read
  };
  const Case cases[] = {
      {"total, nothing comes", 0, 10, 100, "", "", "", milliseconds(200)},
      {"total, part comes", 0, 0, 300, "ab", "", "ab", milliseconds(300)},
      {"full count ends at once", 0, 0, 5000, "0123456789", "", "0123456789", milliseconds(0)},
      {"interval after the last byte", 50, 0, 0, "", "abc", "abc", milliseconds(150)},
      {"return at once with what is there", MAXDWORD, 0, 0, "xy", "", "xy", milliseconds(0)},
      {"return at once with nothing", MAXDWORD, 0, 0, "", "", "", milliseconds(0)},
      {"first bytes end the wait", MAXDWORD, MAXDWORD, 2000, "", "q", "q", milliseconds(100)},
      {"first-byte wait runs out", MAXDWORD, MAXDWORD, 150, "", "", "", milliseconds(150)},
  };
  OpenPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(FT_Purge(handle_, FT_PURGE_RX), FT_OK);
    SetCommTimeouts(c.interval, c.multiplier, c.constant);
    if (!c.before.empty()) {
      Send(c.before);
      std::this_thread::sleep_for(milliseconds(20));  // through the pseudo-terminal
    }
    std::thread sender;
    if (!c.during.empty()) {
      sender = std::thread([&] {
        std::this_thread::sleep_for(milliseconds(100));
        Send(c.during);
      });
    }
    char buffer[10] = {};
    DWORD got = 0;
    const auto start = Clock::now();
    EXPECT_EQ(FT_Read(handle_, buffer, sizeof buffer, &got), FT_OK);
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (sender.joinable()) sender.join();
    EXPECT_EQ(std::string(buffer, got), c.expected);
    EXPECT_GE(took, c.takes - EARLY_ALLOWANCE);
    EXPECT_LE(took, c.takes + LATE_ALLOWANCE);
  }
}

TEST_F(TtyTransfer, CancelAndCloseEndAPendingRead) {
  OpenOverlapped();
  ASSERT_EQ(FT_SetTimeouts(handle_, 0, 0), FT_OK);  // no time-out: only a cancel ends it
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char buffer[16];
  DWORD got = 0;
  EXPECT_FALSE(FT_W32_ReadFile(handle_, buffer, sizeof buffer, &got, &overlapped));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 50), WAIT_TIMEOUT);
  EXPECT_TRUE(FT_W32_CancelIo(handle_));
  EXPECT_FALSE(FT_W32_GetOverlappedResult(handle_, &overlapped, &got, TRUE));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_OPERATION_ABORTED);

  // The port still works after a cancel.
  ResetEvent(overlapped.hEvent);
  EXPECT_FALSE(FT_W32_ReadFile(handle_, buffer, 3, &got, &overlapped));
  Send("abc");
  EXPECT_TRUE(FT_W32_GetOverlappedResult(handle_, &overlapped, &got, TRUE));
  EXPECT_EQ(got, 3u);

  // A close with a read and an event wait pending ends both and returns.
  ResetEvent(overlapped.hEvent);
  EXPECT_FALSE(FT_W32_ReadFile(handle_, buffer, sizeof buffer, &got, &overlapped));
  ASSERT_TRUE(FT_W32_SetCommMask(handle_, EV_RXCHAR));
  ASSERT_EQ(FT_Purge(handle_, FT_PURGE_RX), FT_OK);
  BOOL waited = TRUE;
  std::thread waiter([&] {
    ULONG events = 0;
    waited = FT_W32_WaitCommEvent(handle_, &events, nullptr);
  });
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_TRUE(FT_W32_CloseHandle(handle_));
  handle_ = nullptr;
  waiter.join();
  EXPECT_FALSE(waited);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_NE(overlapped.Internal, STATUS_PENDING);
  CloseHandle(overlapped.hEvent);
}

TEST_F(TtyTransfer, EventWaitSeesArrivingBytes) {
  OpenPort();
  ASSERT_EQ(FT_SetWaitMask(handle_, EV_RXCHAR), FT_OK);
  std::thread sender([&] {
    std::this_thread::sleep_for(milliseconds(50));
    Send("z");
  });
  DWORD events = 0;
  EXPECT_EQ(FT_WaitOnMask(handle_, &events), FT_OK);
  sender.join();
  EXPECT_EQ(events, DWORD{EV_RXCHAR});
}

TEST_F(TtyTransfer, FarEndGoneFailsPendingAndLaterTransfers) {
  OpenPort();
  ASSERT_EQ(FT_SetTimeouts(handle_, 0, 0), FT_OK);
  std::thread cut([&] {
    std::this_thread::sleep_for(milliseconds(50));
    close(master_);
    master_ = -1;
  });
  char buffer[8];
  DWORD got = 0;
  EXPECT_EQ(FT_Read(handle_, buffer, sizeof buffer, &got), FT_IO_ERROR);
  cut.join();
  EXPECT_EQ(got, 0u);
  DWORD written = 0;
  EXPECT_EQ(FT_Write(handle_, buffer, 1, &written), FT_IO_ERROR);
}

}  // namespace
}  // namespace ralvex::hostdev_test

// _beginthreadex thread handles, per-thread last error, Sleep and GetVersionExA.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/platform_under_test.h"

namespace {

unsigned __stdcall ReturnArgument(void* argument) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(argument));
}

unsigned __stdcall WaitForGate(void* gate) {
  return WaitForSingleObject(static_cast<HANDLE>(gate), 5000) == WAIT_OBJECT_0 ? 7 : 99;
}

// Thread bodies are named stdcall functions: a lambda converts only to a pointer of the default
// calling convention, which on 32-bit Windows is another one.
struct GateAndDone {
  HANDLE gate;
  HANDLE done;
};

unsigned __stdcall PassGateThenSignal(void* raw) {
  auto* work = static_cast<GateAndDone*>(raw);
  WaitForSingleObject(work->gate, 5000);
  SetEvent(work->done);
  return 0;
}

unsigned __stdcall RaiseFlag(void* flag) {
  static_cast<std::atomic<bool>*>(flag)->store(true);
  return 5;
}

unsigned __stdcall StoreOwnId(void* out) {
  static_cast<std::atomic<DWORD>*>(out)->store(GetCurrentThreadId());
  return 0;
}

HANDLE Start(_beginthreadex_proc_type proc, void* argument, unsigned flags = 0,
             unsigned* id = nullptr) {
  return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, proc, argument, flags, id));
}

TEST(KernelThreads, HandleStaysSignalledForRepeatedWaitsFromManyThreads) {
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = Start(WaitForGate, gate);
  ASSERT_NE(thread, nullptr);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      for (int round = 0; round < 3; ++round) {
        if (WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0) ++woken;
      }
    });
  }
  Sleep(20);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  SetEvent(gate);
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(woken, 12);
  EXPECT_EQ(WaitForMultipleObjects(1, &thread, TRUE, 0), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(CloseHandle(thread));
  CloseHandle(gate);
}

TEST(KernelThreads, ClosingTheHandleDoesNotStopTheThread) {
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  GateAndDone work{gate, done};
  HANDLE thread = Start(PassGateThenSignal, &work);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  SetEvent(gate);
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  CloseHandle(gate);
  CloseHandle(done);
}

TEST(KernelThreads, SuspendedThreadRunsOnlyAfterResume) {
  std::atomic<bool> ran{false};
  unsigned id = 0;
  HANDLE thread = Start(RaiseFlag, &ran, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
  EXPECT_FALSE(ran);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(ResumeThread(thread), 0u);
  CloseHandle(thread);
}

TEST(KernelThreads, ThreadIdIsTheOneTheThreadSees) {
  unsigned id = 0;
  std::atomic<DWORD> seen{0};
  HANDLE thread = Start(StoreOwnId, &seen, 0, &id);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(seen.load(), id);
  CloseHandle(thread);
}

TEST(KernelThreads, BadArgumentsFailWithZeroAndErrno) {
  errno = 0;
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  if (ralvex::test_support::OwnPlatform()) {
    // Our layer refuses flags it does not know; the system's runtime may pass them on.
    errno = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, ReturnArgument, nullptr, 0x10, nullptr), 0u);
    EXPECT_EQ(errno, EINVAL);
  }
  SetLastError(0);
  EXPECT_EQ(ResumeThread(nullptr), static_cast<DWORD>(-1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // An event is not a thread.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(event, &code));
  CloseHandle(event);
}

TEST(KernelThreads, SmallRequestedStackStillRuns) {
  HANDLE thread = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 1, ReturnArgument, reinterpret_cast<void*>(42), 0, nullptr));
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
}

TEST(KernelLastError, IsPerThread) {
  // The main thread's value is read before the join: starting and joining a thread runs library
  // code that may set it, and only the kernel calls here promise to leave it alone.
  HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD otherBefore = 0;
  DWORD otherAfter = 0;
  std::thread other([&] {
    WaitForSingleObject(go, 5000);
    otherBefore = GetLastError();
    SetLastError(222);
    otherAfter = GetLastError();
    SetEvent(done);
  });
  SetLastError(111);
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(GetLastError(), 111u);
  other.join();
  EXPECT_NE(otherBefore, 111u);
  EXPECT_EQ(otherAfter, 222u);
  CloseHandle(go);
  CloseHandle(done);
}

TEST(KernelSleep, WaitsAtLeastTheDelayAndZeroReturns) {
  Sleep(0);
  const auto start = std::chrono::steady_clock::now();
  Sleep(25);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
}

TEST(KernelVersion, AcceptsOnlyTheTwoExactSizes) {
  alignas(8) unsigned char buffer[sizeof(OSVERSIONINFOEXA) + 8];
  for (DWORD size : {0u, 147u, 149u, 155u, 157u, 512u}) {
    std::memset(buffer, 0xCC, sizeof buffer);
    auto* info = reinterpret_cast<OSVERSIONINFOA*>(buffer);
    info->dwOSVersionInfoSize = size;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(info)) << size;
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << size;
  }
  SKIP_UNLESS_OWN_PLATFORM("a null block is refused; the system's query faults on it");
  SetLastError(0);
  EXPECT_FALSE(GetVersionExA(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(KernelVersion, ShortFormIsFilledWithoutWritingPastIt) {
  unsigned char buffer[sizeof(OSVERSIONINFOEXA)];
  std::memset(buffer, 0xCC, sizeof buffer);
  auto* info = reinterpret_cast<OSVERSIONINFOA*>(buffer);
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  SetLastError(55);
  ASSERT_TRUE(GetVersionExA(info));
  EXPECT_EQ(GetLastError(), 55u);
  EXPECT_EQ(info->dwPlatformId, VER_PLATFORM_WIN32_NT);
  if (ralvex::test_support::OwnPlatform()) {
    // Our layer stands for Windows 10 without a service pack; the system reports what it is.
    EXPECT_EQ(info->dwMajorVersion, 10u);
    EXPECT_EQ(info->dwMinorVersion, 0u);
    EXPECT_EQ(info->szCSDVersion[0], '\0');
  }
  for (size_t i = sizeof(OSVERSIONINFOA); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xCC);
}

TEST(KernelVersion, ProductTypeFollowsServerEdition) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
  if (!ralvex::test_support::SetServerEdition(true)) GTEST_SKIP() << "the system's edition";
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(info.wProductType, VER_NT_SERVER);
  ralvex::test_support::SetServerEdition(false);
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
}

}  // namespace

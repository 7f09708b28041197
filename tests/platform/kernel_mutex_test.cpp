// Mutexes (recursion, owner checks, abandonment) and critical sections.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/platform_under_test.h"

namespace {

HANDLE NewMutex(bool owned) {
  HANDLE mutex = CreateMutexA(nullptr, owned ? TRUE : FALSE, nullptr);
  EXPECT_NE(mutex, nullptr);
  return mutex;
}

// Result of a wait made from another thread.
DWORD WaitElsewhere(HANDLE handle, DWORD ms) {
  DWORD result = 0;
  std::thread([&] { result = WaitForSingleObject(handle, ms); }).join();
  return result;
}

TEST(KernelMutex, OwnerWaitsRecursivelyAndReleasesOncePerWait) {
  HANDLE mutex = NewMutex(true);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  // Count 3: the creator's, plus two waits.
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitElsewhere(mutex, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(mutex));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  EXPECT_EQ(WaitElsewhere(mutex, 0), WAIT_OBJECT_0);  // that thread's end abandons it again
  CloseHandle(mutex);
}

TEST(KernelMutex, ReleaseByNonOwnerIsRefusedAndChangesNothing) {
  HANDLE mutex = NewMutex(true);
  BOOL released = TRUE;
  DWORD error = 0;
  std::thread([&] {
    released = ReleaseMutex(mutex);
    error = GetLastError();
  }).join();
  EXPECT_FALSE(released);
  EXPECT_EQ(error, ERROR_NOT_OWNER);
  EXPECT_EQ(WaitElsewhere(mutex, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST(KernelMutex, UnownedMutexIsTakenByFirstWaitAndCreateClearsLastError) {
  SetLastError(77);
  HANDLE mutex = NewMutex(false);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitElsewhere(mutex, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(mutex));
  if (ralvex::test_support::OwnPlatform()) {
    // Nothing shares a mutex by name, so our layer refuses names.
    SetLastError(0);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "global"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  }
  CloseHandle(mutex);
}

TEST(KernelMutex, OwnerThreadEndingAbandonsWithOwnershipToNextWaiter) {
  HANDLE mutex = NewMutex(false);
  std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
  // The abandoned wait made us the owner; later waits are normal recursive ones.
  EXPECT_EQ(WaitElsewhere(mutex, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST(KernelMutex, AbandonmentWakesABlockedWaiterAndReportsItsIndex) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = NewMutex(false);
  HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread owner([&] {
    WaitForSingleObject(mutex, 0);
    SetEvent(taken);
    Sleep(30);
  });
  ASSERT_EQ(WaitForSingleObject(taken, 5000), WAIT_OBJECT_0);
  HANDLE both[2] = {event, mutex};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5000), WAIT_ABANDONED_0 + 1);
  owner.join();
  EXPECT_TRUE(ReleaseMutex(mutex));
  for (HANDLE handle : {event, mutex, taken}) CloseHandle(handle);
}

unsigned __stdcall HoldAndReturn(void* mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), 0) == WAIT_OBJECT_0 ? 0 : 1;
}

TEST(KernelMutex, BeginthreadexThreadEndIsAbandonmentBeforeItsHandleSignals) {
  HANDLE mutex = NewMutex(false);
  HANDLE thread =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, HoldAndReturn, mutex, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(thread);
  CloseHandle(mutex);
}

TEST(KernelMutex, WaitAllWithMutexAndEventTakesBoth) {
  HANDLE mutex = NewMutex(false);
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[2] = {mutex, event};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
  // The failed wait-all did not take the mutex.
  EXPECT_EQ(WaitElsewhere(mutex, 0), WAIT_OBJECT_0);
  SetEvent(event);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_ABANDONED_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
  CloseHandle(event);
}

TEST(KernelMutex, ContendedMutexKeepsMutualExclusion) {
  HANDLE mutex = NewMutex(false);
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
        ++counter;
        ASSERT_TRUE(ReleaseMutex(mutex));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 2000);
  CloseHandle(mutex);
}

TEST(KernelCriticalSection, RecursiveEntryNeedsOneLeavePerEnter) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  auto otherCanEnter = [&] {
    BOOL entered = FALSE;
    std::thread([&] {
      entered = TryEnterCriticalSection(&section);
      if (entered) LeaveCriticalSection(&section);
    }).join();
    return entered != FALSE;
  };
  LeaveCriticalSection(&section);
  EXPECT_FALSE(otherCanEnter());
  LeaveCriticalSection(&section);
  EXPECT_TRUE(otherCanEnter());
  DeleteCriticalSection(&section);
}

TEST(KernelCriticalSection, LeaveByNonOwnerIsIgnored) {
  SKIP_UNLESS_OWN_PLATFORM("misuse that corrupts the system's section is harmless in ours");
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  std::thread([&] { LeaveCriticalSection(&section); }).join();
  BOOL entered = TRUE;
  std::thread([&] { entered = TryEnterCriticalSection(&section); }).join();
  EXPECT_FALSE(entered);
  LeaveCriticalSection(&section);
  DeleteCriticalSection(&section);
  // A second delete, or a null section, does nothing.
  DeleteCriticalSection(&section);
  EnterCriticalSection(nullptr);
  LeaveCriticalSection(nullptr);
}

TEST(KernelCriticalSection, ExcludesConcurrentThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        EnterCriticalSection(&section);
        EnterCriticalSection(&section);
        ++counter;
        LeaveCriticalSection(&section);
        LeaveCriticalSection(&section);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 8000);
  DeleteCriticalSection(&section);
}

}  // namespace

// The handle table and CloseHandle.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "platform/posix/handle_table.h"
#include "platform/win32.h"

namespace {

using ralvex::posix::FindObject;
using ralvex::posix::InsertObject;
using ralvex::posix::KernelObject;
using ralvex::posix::LiveHandleCount;

class CountingObject : public KernelObject {
 public:
  explicit CountingObject(int* closes) : closes_(closes) {}
  void Close() override { ++*closes_; }

 private:
  int* closes_;
};

class PinnedObject : public KernelObject {
 public:
  bool ClosableByCloseHandle() const override { return false; }
};

TEST(KernelHandles, CloseCallsCloseOnceAndForgetsTheHandle) {
  int closes = 0;
  const size_t before = LiveHandleCount();
  HANDLE handle = InsertObject(std::make_shared<CountingObject>(&closes));
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_LE(reinterpret_cast<uintptr_t>(handle), 0xFFFFFFFFu);
  EXPECT_EQ(LiveHandleCount(), before + 1);
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(FindObject(handle), nullptr);
  EXPECT_EQ(LiveHandleCount(), before);
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(closes, 1);
}

TEST(KernelHandles, UnknownValuesFailWithInvalidHandle) {
  for (HANDLE handle : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                        reinterpret_cast<HANDLE>(1), reinterpret_cast<HANDLE>(0x40000000)}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(KernelHandles, HandlesAreNeverReused) {
  std::set<HANDLE> seen;
  for (int i = 0; i < 200; ++i) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(seen.insert(event).second);
    CloseHandle(event);
  }
}

TEST(KernelHandles, ObjectsThatRefuseCloseHandleStayOpen) {
  HANDLE handle = InsertObject(std::make_shared<PinnedObject>());
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_NE(FindObject(handle), nullptr);
  EXPECT_NE(ralvex::posix::RemoveObjectAs<PinnedObject>(handle), nullptr);
  EXPECT_EQ(FindObject(handle), nullptr);
}

TEST(KernelHandles, TypedLookupAndRemovalCheckTheKind) {
  int closes = 0;
  HANDLE handle = InsertObject(std::make_shared<CountingObject>(&closes));
  EXPECT_EQ(ralvex::posix::FindObjectAs<PinnedObject>(handle), nullptr);
  EXPECT_NE(ralvex::posix::FindObjectAs<CountingObject>(handle), nullptr);
  EXPECT_EQ(ralvex::posix::RemoveObjectAs<PinnedObject>(handle), nullptr);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST(KernelHandles, NonWaitableObjectsCannotBeWaitedOn) {
  HANDLE handle = InsertObject(std::make_shared<PinnedObject>());
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  ralvex::posix::RemoveObject(handle);
}

TEST(KernelHandles, ConcurrentClosesOfOneHandleCloseItOnce) {
  for (int round = 0; round < 20; ++round) {
    int closes = 0;
    HANDLE handle = InsertObject(std::make_shared<CountingObject>(&closes));
    std::atomic<int> successes{0};
    std::vector<std::thread> closers;
    for (int i = 0; i < 4; ++i) {
      closers.emplace_back([&] {
        if (CloseHandle(handle)) ++successes;
      });
    }
    for (auto& closer : closers) closer.join();
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(closes, 1);
  }
}

}  // namespace

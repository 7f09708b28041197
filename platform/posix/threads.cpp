// _beginthreadex and thread handles. A thread handle becomes signalled when the thread's function
// returns and stays signalled, so any number of waits, from any threads, succeed afterwards; it
// lives until CloseHandle, which does not stop the thread.
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <new>

#include "platform/posix/kernel_sync.h"

namespace ralvex::posix {
namespace {

class ThreadObject final : public KernelObject {
 public:
  ThreadObject(uint64_t key, bool suspended) : key_(key), suspendCount_(suspended ? 1 : 0) {}

  bool IsWaitable() const override { return true; }
  bool IsSignalled(uint64_t) const override { return finished_; }

  uint64_t key() const { return key_; }

  // In the new thread, before its function runs.
  void WaitUntilResumed() {
    std::unique_lock lock(KernelLock());
    resumed_.wait(lock, [this] { return suspendCount_ == 0; });
  }

  DWORD Resume() {
    std::lock_guard guard(KernelLock());
    const DWORD previous = suspendCount_;
    if (suspendCount_ > 0 && --suspendCount_ == 0) resumed_.notify_one();
    return previous;
  }

  void Finish(DWORD exitCode) {
    std::lock_guard guard(KernelLock());
    exitCode_ = exitCode;
    finished_ = true;
    WakeWaiters();
  }

  DWORD ExitCode() const {
    std::lock_guard guard(KernelLock());
    return finished_ ? exitCode_ : STILL_ACTIVE;
  }

 private:
  const uint64_t key_;
  // Guarded by KernelLock().
  DWORD suspendCount_;
  bool finished_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  std::condition_variable resumed_;
};

struct StartBlock {
  std::shared_ptr<ThreadObject> thread;
  _beginthreadex_proc_type start;
  void* argument;
};

void* ThreadMain(void* raw) {
  std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(raw));
  AdoptThreadKey(block->thread->key());
  block->thread->WaitUntilResumed();
  const unsigned exitCode = block->start(block->argument);
  // Mutexes first, so that a thread that waits for this one and then for a mutex it held finds
  // the mutex already abandoned.
  AbandonOwnedMutexes();
  block->thread->Finish(exitCode);
  return nullptr;
}

size_t StackSize(unsigned requested) {
  const long page = sysconf(_SC_PAGESIZE);
  const size_t pageSize = page > 0 ? static_cast<size_t>(page) : 4096;
  size_t size = std::max<size_t>(requested, PTHREAD_STACK_MIN);
  return (size + pageSize - 1) / pageSize * pageSize;
}

uintptr_t Fail(int errorNumber, DWORD lastError) {
  errno = errorNumber;
  SetLastError(lastError);
  return 0;
}

}  // namespace
}  // namespace ralvex::posix

using ralvex::posix::ThreadObject;

extern "C" uintptr_t _beginthreadex(void*, unsigned stackSize,
                                    _beginthreadex_proc_type startAddress, void* arglist,
                                    unsigned initflag, unsigned* thrdaddr) {
  using namespace ralvex::posix;
  if (startAddress == nullptr || (initflag & ~CREATE_SUSPENDED) != 0) {
    return Fail(EINVAL, ERROR_INVALID_PARAMETER);
  }
  std::shared_ptr<ThreadObject> thread;
  std::unique_ptr<StartBlock> block;
  try {
    thread = std::make_shared<ThreadObject>(NewThreadKey(), (initflag & CREATE_SUSPENDED) != 0);
    block.reset(new StartBlock{thread, startAddress, arglist});
  } catch (const std::bad_alloc&) {
    return Fail(ENOMEM, ERROR_NOT_ENOUGH_MEMORY);
  }
  HANDLE handle = InsertObject(thread);
  if (handle == nullptr) return Fail(EAGAIN, ERROR_NO_SYSTEM_RESOURCES);

  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error == 0) {
    error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (error == 0 && stackSize != 0) {
      error = pthread_attr_setstacksize(&attributes, StackSize(stackSize));
    }
    if (error == 0) {
      pthread_t id;
      error = pthread_create(&id, &attributes, ThreadMain, block.get());
      if (error == 0) block.release();  // the thread owns it now
    }
    pthread_attr_destroy(&attributes);
  }
  if (error != 0) {
    RemoveObject(handle);
    return Fail(error == EINVAL ? EINVAL : EAGAIN, ERROR_NOT_ENOUGH_MEMORY);
  }
  if (thrdaddr != nullptr) *thrdaddr = static_cast<unsigned>(thread->key());
  return reinterpret_cast<uintptr_t>(handle);
}

extern "C" DWORD WINAPI ResumeThread(HANDLE hThread) {
  std::shared_ptr<ThreadObject> thread = ralvex::posix::FindObjectAs<ThreadObject>(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  return thread->Resume();
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  std::shared_ptr<ThreadObject> thread = ralvex::posix::FindObjectAs<ThreadObject>(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpExitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpExitCode = thread->ExitCode();
  return TRUE;
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
  return static_cast<DWORD>(ralvex::posix::CurrentThreadKey());
}

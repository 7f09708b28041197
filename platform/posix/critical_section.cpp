// Critical sections: recursive locks, one Leave per Enter, not waitable and never abandoned.
//
// The state lives inside the caller's CRITICAL_SECTION. The owner is tracked so that a Leave by a
// thread that does not own the section is ignored instead of corrupting it, and Delete of an
// uninitialised or already deleted section does nothing.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

#include "platform/posix/handle_table.h"
#include "platform/win32.h"

namespace ralvex::posix {
namespace {

constexpr uint64_t SECTION_LIVE_MAGIC = 0x52414C5645584353ull;

struct SectionState {
  std::recursive_mutex lock;
  std::atomic<uint64_t> owner{0};  // CurrentThreadKey of the owner, 0 when free
  uint32_t depth = 0;              // only touched by the owner
};

struct SectionLayout {
  uint64_t magic;
  alignas(SectionState) unsigned char storage[sizeof(SectionState)];
};

static_assert(sizeof(SectionLayout) <= sizeof(CRITICAL_SECTION), "CRITICAL_SECTION too small");
static_assert(alignof(SectionLayout) <= alignof(CRITICAL_SECTION), "CRITICAL_SECTION misaligned");

SectionLayout* Layout(LPCRITICAL_SECTION section) {
  return reinterpret_cast<SectionLayout*>(section);
}

SectionState* State(LPCRITICAL_SECTION section) {
  if (section == nullptr || Layout(section)->magic != SECTION_LIVE_MAGIC) return nullptr;
  return std::launder(reinterpret_cast<SectionState*>(Layout(section)->storage));
}

}  // namespace
}  // namespace ralvex::posix

using ralvex::posix::CurrentThreadKey;
using ralvex::posix::SectionState;

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (lpCriticalSection == nullptr) return;
  auto* layout = ralvex::posix::Layout(lpCriticalSection);
  new (layout->storage) SectionState();
  layout->magic = ralvex::posix::SECTION_LIVE_MAGIC;
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  SectionState* state = ralvex::posix::State(lpCriticalSection);
  if (state == nullptr) return;
  state->lock.lock();
  state->owner.store(CurrentThreadKey(), std::memory_order_relaxed);
  ++state->depth;
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  SectionState* state = ralvex::posix::State(lpCriticalSection);
  if (state == nullptr || !state->lock.try_lock()) return FALSE;
  state->owner.store(CurrentThreadKey(), std::memory_order_relaxed);
  ++state->depth;
  return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  SectionState* state = ralvex::posix::State(lpCriticalSection);
  if (state == nullptr || state->owner.load(std::memory_order_relaxed) != CurrentThreadKey()) {
    return;
  }
  if (--state->depth == 0) state->owner.store(0, std::memory_order_relaxed);
  state->lock.unlock();
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  SectionState* state = ralvex::posix::State(lpCriticalSection);
  if (state == nullptr) return;
  // Deleting a section another thread holds would pull the lock from under it; leave it alone
  // (a leak) rather than destroy a held lock.
  const uint64_t owner = state->owner.load(std::memory_order_relaxed);
  if (owner != 0 && owner != CurrentThreadKey()) return;
  while (owner != 0 && state->depth > 0) {
    --state->depth;
    state->lock.unlock();
  }
  state->~SectionState();
  ralvex::posix::Layout(lpCriticalSection)->magic = 0;
}

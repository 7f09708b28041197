// How quickly a thread blocked in a wait runs again after SetEvent, and what a wait costs when
// nothing has to block.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <thread>

#include "platform/win32.h"

namespace {

// Ping-pong between two threads over two auto-reset events: each iteration is two wake-ups of a
// blocked waiter (SetEvent, then the other side's wait returning).
void BM_SetEventWakesWaiter(benchmark::State& state) {
  HANDLE ping = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE pong = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    for (;;) {
      WaitForSingleObject(ping, INFINITE);
      if (stop.load()) break;
      SetEvent(pong);
    }
  });
  for (auto _ : state) {
    SetEvent(ping);
    WaitForSingleObject(pong, INFINITE);
  }
  stop.store(true);
  SetEvent(ping);
  partner.join();
  CloseHandle(ping);
  CloseHandle(pong);
  state.SetLabel("round trip = 2 wake-ups");
}
BENCHMARK(BM_SetEventWakesWaiter)->UseRealTime();

// SetEvent followed by a wait that is satisfied at once.
void BM_SetThenWaitNoBlocking(benchmark::State& state) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (auto _ : state) {
    SetEvent(event);
    benchmark::DoNotOptimize(WaitForSingleObject(event, INFINITE));
  }
  CloseHandle(event);
}
BENCHMARK(BM_SetThenWaitNoBlocking);

// Wait-any over the full 64 handles where only the last one is set: the worst-case scan.
void BM_WaitAny64LastSet(benchmark::State& state) {
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> events{};
  for (HANDLE& event : events) event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (auto _ : state) {
    SetEvent(events.back());
    benchmark::DoNotOptimize(WaitForMultipleObjects(64, events.data(), FALSE, INFINITE));
  }
  for (HANDLE event : events) CloseHandle(event);
}
BENCHMARK(BM_WaitAny64LastSet);

}  // namespace

BENCHMARK_MAIN();

// Sleep: Sleep(0) gives up the rest of the time slice; otherwise the delay is a minimum.
#include <chrono>
#include <thread>

#include "platform/win32.h"

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

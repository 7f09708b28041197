// The last error is per thread, as on Windows: one thread's failure never shows up in another's
// GetLastError.
#include "platform/win32.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

extern "C" DWORD WINAPI GetLastError(void) {
  return lastError;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode) {
  lastError = dwErrCode;
}

// The last error is per thread, as on Windows: one thread's failure never shows up in another's
// GetLastError.
#include "platform/win32.h"

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}  // namespace

extern "C" DWORD WINAPI GetLastError(void) {
  return last_error;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode) {
  last_error = dwErrCode;
}

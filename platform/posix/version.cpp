// GetVersionExA: Windows 10.0, a workstation unless the device tree's owner says otherwise.
#include <atomic>
#include <cstring>

#include "platform/posix/devices.h"
#include "platform/win32.h"

namespace ralvex::posix {
namespace {
std::atomic<bool> serverEdition{false};
}  // namespace

void SetServerEdition(bool server) {
  serverEdition.store(server);
}

}  // namespace ralvex::posix

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (lpVersionInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Filled in a local copy: the caller's structure may be the short form.
  OSVERSIONINFOEXA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = size;
  info.dwMajorVersion = 10;
  info.dwMinorVersion = 0;
  info.dwBuildNumber = 19045;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.wProductType =
      static_cast<BYTE>(ralvex::posix::serverEdition.load() ? VER_NT_SERVER : VER_NT_WORKSTATION);
  std::memcpy(lpVersionInformation, &info, size);
  return TRUE;
}

// Which implementation of the Win32 subset a kernel-object test runs against. The same tests pin
// our POSIX layer and, in the Windows builds, the system's own (Windows, or Wine on Linux), so a
// case that checks a choice of our own layer, or a place where Wine is known to differ from
// Windows, says so and is skipped where it does not apply.
#pragma once

#include "platform/win32.h"

#ifndef _WIN32
#include "platform/posix/devices.h"
#endif

namespace ralvex::test_support {

// True when the layer under test is our own POSIX implementation.
inline bool OwnPlatform() {
#ifdef _WIN32
  return false;
#else
  return true;
#endif
}

// True under Wine, which marks its ntdll with an export of its own.
inline bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Makes the version query report a server edition (or not); false where the system decides.
inline bool SetServerEdition(bool server) {
#ifdef _WIN32
  (void)server;
  return false;
#else
  ralvex::posix::SetServerEdition(server);
  return true;
#endif
}

}  // namespace ralvex::test_support

// Skips the rest of a case that pins a choice of our own layer, not Windows behaviour.
#define SKIP_UNLESS_OWN_PLATFORM(why) \
  if (!ralvex::test_support::OwnPlatform()) GTEST_SKIP() << "our layer's own choice: " << why

// Skips the rest of a case where Wine is known to differ from Windows.
#define SKIP_UNDER_WINE(why) \
  if (ralvex::test_support::UnderWine()) GTEST_SKIP() << "Wine differs from Windows: " << why

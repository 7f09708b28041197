// Opening the chosen tester: both programs find testers with discovery, pick one by position, and
// open it by serial number with the same ten attempts.
#pragma once

#include "link/tester_link.h"
#include "platform/win32.h"

namespace ralvex::testers {

inline constexpr int OPEN_ATTEMPTS = 10;
inline constexpr DWORD OPEN_RETRY_PAUSE_MS = 100;

// Ten attempts, each failed one closed again and followed by a pause: a tester another process
// holds for a moment is still reached.
bool OpenWithRetries(link::TesterLink& link, const char* serial);

}  // namespace ralvex::testers

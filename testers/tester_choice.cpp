#include "testers/tester_choice.h"

namespace ralvex::testers {

bool OpenWithRetries(link::TesterLink& link, const char* serial) {
  for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
    if (link.Open(serial)) return true;
    link.Close();
    Sleep(OPEN_RETRY_PAUSE_MS);
  }
  return false;
}

}  // namespace ralvex::testers

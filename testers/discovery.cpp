#include "testers/discovery.h"

#include <cstdint>
#include <cstring>

#include "platform/win32.h"

namespace ralvex::testers {

namespace {

void DefaultPause(DWORD ms) {
  Sleep(ms);
}

}  // namespace

std::size_t ScanTesters(TesterList& list, ListDevicesFunction listDevices) {
  list.count = 0;
  DWORD devices = 0;
  if (listDevices(&devices, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return 0;

  for (DWORD index = 0; index < devices && list.count < TESTER_LIST_CAPACITY; ++index) {
    // One spare byte beyond the 16 the serial field holds, so an unterminated answer still ends.
    char serial[TESTER_SERIAL_SIZE + 1] = {};
    PVOID indexArg = reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(index));
    if (listDevices(indexArg, serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) != FT_OK) {
      continue;
    }
    serial[TESTER_SERIAL_SIZE - 1] = '\0';
    if (std::strncmp(serial, TESTER_PREFIX, TESTER_PREFIX_LENGTH) != 0) continue;
    char* entry = list.serials[list.count];
    std::memcpy(entry, serial, TESTER_SERIAL_SIZE);
    ++list.count;
  }
  return list.count;
}

std::size_t StartupScan(TesterList& list, ListDevicesFunction listDevices,
                        void (*pause)(DWORD ms)) {
  if (pause == nullptr) pause = DefaultPause;
  for (int pass = 0; pass < STARTUP_SCAN_PASSES; ++pass) {
    const std::size_t found = ScanTesters(list, listDevices);
    if (found > 0) return found;
    pause(STARTUP_SCAN_PAUSE_MS);
  }
  return 0;
}

void PrintTesterListing(std::FILE* out, TesterList& list, ListDevicesFunction listDevices) {
  const std::size_t found = ScanTesters(list, listDevices);
  for (std::size_t i = 0; i < found; ++i) {
    std::fprintf(out, "%zu=%s\n", i, list.serials[i]);
    std::fflush(out);
  }
}

ResolvedDevice ResolveDevice(const char* upperText, const TesterList& list,
                             std::size_t startupCount) {
  if (std::strstr(upperText, TESTER_PREFIX) != nullptr) {
    const std::size_t usable = startupCount < list.count ? startupCount : list.count;
    for (std::size_t i = 0; i < usable; ++i) {
      // Entries hold at most 15 characters, so a longer text simply matches none.
      if (std::strcmp(upperText, list.serials[i]) == 0) return {DEVICE_FOUND, i};
    }
    return {DEVICE_NOT_FOUND, 0};
  }
  if (std::strcmp(upperText, "ANY") == 0) return {DEVICE_FOUND, 0};
  return {DEVICE_INVALID, 0};
}

const char* SerialAt(const TesterList& list, std::size_t startupCount, long index) {
  const std::size_t usable = startupCount < list.count ? startupCount : list.count;
  if (index < 0 || static_cast<unsigned long>(index) >= usable) return nullptr;
  return list.serials[index];
}

}  // namespace ralvex::testers

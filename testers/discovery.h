// Tester discovery: the bridge devices whose serial number begins with "KORA" are testers. They are
// kept in the TesterList in the order the access layer reports them; -f lists them, -d and -i pick
// one of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ralvex/bridge.h"

namespace ralvex::testers {

inline constexpr std::size_t TESTER_LIST_CAPACITY = 32;
inline constexpr std::size_t TESTER_SERIAL_SIZE = 16;  // 15 characters and the terminator
inline constexpr char TESTER_PREFIX[] = "KORA";
inline constexpr std::size_t TESTER_PREFIX_LENGTH = 4;

inline constexpr int STARTUP_SCAN_PASSES = 10;
inline constexpr DWORD STARTUP_SCAN_PAUSE_MS = 100;

struct TesterList {
  char serials[TESTER_LIST_CAPACITY][TESTER_SERIAL_SIZE] = {};
  std::size_t count = 0;
};

// The enumeration call discovery goes through; FT_ListDevices in the program, a stand-in in tests.
using ListDevicesFunction = FT_STATUS(FT_CALL*)(PVOID pvArg1, PVOID pvArg2, DWORD dwFlags);

// One pass: refills `list` from entry 0 and returns the number of testers found. A device whose
// serial number cannot be read is skipped. Serial numbers are copied bounded to 15 characters.
// Once the list's 32 entries are full the pass stops: further testers are not listed and cannot be
// selected.
std::size_t ScanTesters(TesterList& list, ListDevicesFunction listDevices = FT_ListDevices);

// Up to 10 passes, pausing 100 ms after each that found none (the last one included). Returns the
// start-up count; 0 means no tester turned up.
std::size_t StartupScan(TesterList& list, ListDevicesFunction listDevices = FT_ListDevices,
                        void (*pause)(DWORD ms) = nullptr);

// -f: one pass, then "index=serial" per tester on `out`.
void PrintTesterListing(std::FILE* out, TesterList& list,
                        ListDevicesFunction listDevices = FT_ListDevices);

// What a -d argument (already upper-cased) names.
enum DeviceResolution : uint8_t { DEVICE_FOUND, DEVICE_NOT_FOUND, DEVICE_INVALID };

struct ResolvedDevice {
  DeviceResolution resolution;
  std::size_t index;  // valid for FOUND
};

// Text containing "KORA" anywhere is compared whole with the first `startupCount` serial numbers;
// "ANY" names entry 0; anything else is invalid.
ResolvedDevice ResolveDevice(const char* upperText, const TesterList& list,
                             std::size_t startupCount);

// The serial number at `index`, or null when `index` names no entry among the first `startupCount`.
const char* SerialAt(const TesterList& list, std::size_t startupCount, long index);

}  // namespace ralvex::testers

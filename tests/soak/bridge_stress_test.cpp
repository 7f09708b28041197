// Access-layer stress: eight threads call the FT_* functions at random on a bench of loopback
// and tester devices. Each thread owns the handles it opened and may hand one over for another
// thread to use and close; any thread may call with handles it does not own (open in another
// thread, already closed, never opened). Checks: every call ends (a watchdog aborts a hung run),
// every status is one its function may give, an owned handle is never refused as unknown, a
// handle never opened is always refused, no handle is left open and every device opens and
// echoes again at the end. Leaks are left to the AddressSanitizer build.
//
// Closing a handle while another thread is inside a call with it is the caller's error, so
// closes wait on the calls made with handles the caller does not own (a shared lock for those
// calls, an exclusive one for closes); a thread's calls with its own handles need no lock, as
// only the owner closes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/handle_record.h"
#include "platform/win32.h"
#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"
#include "sim/tester/tester_peer.h"
#include "soak_support.h"

namespace ralvex::soak {
namespace {

constexpr int STRESS_THREADS = 8;
constexpr uint64_t STRESS_CALLS_PER_THREAD = 20000;
constexpr std::size_t OWNED_MAX = 2;
constexpr std::size_t STALE_KEPT = 64;
// Reads and waits on owned handles end within this; nothing else waits.
constexpr ULONG STRESS_IO_TIMEOUT_MS = 20;
// Generous: a hung call shows as a stalled run, not as a slow one.
constexpr int STRESS_WATCHDOG_SECONDS = 600;

struct StressDevice {
  const char* serial;
  sim::ChipFamily chip;
  bool loopback;  // else an emulated tester
};

constexpr std::array<StressDevice, 6> STRESS_DEVICES = {{
    {"LOOP232R", sim::CHIP_232R, true},
    {"LOOP2232H", sim::CHIP_2232H, true},
    {"LOOP232H", sim::CHIP_232H, true},
    {"LOOPXSER", sim::CHIP_X_SERIES, true},
    {"KORASTRESS1", sim::CHIP_232R, false},
    {"KORASTRESS2", sim::CHIP_232R, false},
}};

// ---- the statuses each function may give ----

constexpr uint32_t S(FT_STATUS status) {
  return 1u << status;
}
constexpr uint32_t CONTROL = S(FT_OK) | S(FT_INVALID_HANDLE) | S(FT_IO_ERROR);
constexpr uint32_t OPENING = S(FT_OK) | S(FT_DEVICE_NOT_FOUND) | S(FT_DEVICE_NOT_OPENED) |
                             S(FT_INSUFFICIENT_RESOURCES) | S(FT_INVALID_PARAMETER);
constexpr uint32_t EEPROM_DECODE = S(FT_OK) | S(FT_INVALID_HANDLE) | S(FT_INVALID_PARAMETER) |
                                   S(FT_INSUFFICIENT_RESOURCES) | S(FT_EEPROM_READ_FAILED) |
                                   S(FT_EEPROM_NOT_PRESENT) | S(FT_EEPROM_NOT_PROGRAMMED) |
                                   S(FT_NOT_SUPPORTED);

const std::map<std::string, uint32_t>& AllowedStatuses() {
  static const std::map<std::string, uint32_t> allowed = {
      {"FT_Open", OPENING},
      {"FT_OpenEx", OPENING},
      {"FT_Close",
       S(FT_OK) | S(FT_INVALID_HANDLE) | S(FT_INSUFFICIENT_RESOURCES) | S(FT_DEVICE_NOT_FOUND)},
      {"FT_ListDevices", OPENING | S(FT_IO_ERROR)},
      {"FT_CreateDeviceInfoList", S(FT_OK) | S(FT_INSUFFICIENT_RESOURCES) |
                                      S(FT_INVALID_PARAMETER) | S(FT_DEVICE_NOT_FOUND) |
                                      S(FT_OTHER_ERROR)},
      {"FT_GetDeviceInfoList", S(FT_OK) | S(FT_INVALID_PARAMETER) | S(FT_INSUFFICIENT_RESOURCES)},
      {"FT_GetDeviceInfoDetail", S(FT_OK) | S(FT_DEVICE_NOT_FOUND) | S(FT_INSUFFICIENT_RESOURCES)},
      // Unknown handle: FT_NOT_SUPPORTED; otherwise the driver's own status word.
      {"FT_GetDeviceInfo", S(FT_OK) | S(FT_NOT_SUPPORTED)},
      {"FT_GetLibraryVersion", S(FT_OK)},
      {"FT_SetBaudRate", S(FT_OK) | S(FT_INVALID_HANDLE) | S(FT_INVALID_BAUD_RATE)},
      {"control", CONTROL},
      {"FT_GetComPortNumber", CONTROL | S(FT_INVALID_PARAMETER)},
      {"vendor", CONTROL | S(FT_INVALID_PARAMETER)},
      {"FT_Read", CONTROL},
      {"FT_Write", CONTROL},
      {"FT_Rescan", S(FT_OK) | S(FT_OTHER_ERROR)},
      {"FT_Reload", S(FT_OK)},
      {"FT_ReadEE", CONTROL},
      {"FT_EE_Read", EEPROM_DECODE},
      {"FT_EEPROM_Read", EEPROM_DECODE},
      {"FT_EE_UASize", EEPROM_DECODE},
      {"FT_EE_UARead", EEPROM_DECODE},
      {"FT_EE_ReadConfig", CONTROL | S(FT_NOT_SUPPORTED)},
      {"FT_EE_ReadECC", CONTROL | S(FT_NOT_SUPPORTED)},
  };
  return allowed;
}

// ---- shared state ----

struct Owned {
  FT_HANDLE handle = nullptr;
  bool overlapped = false;
  bool loopback = false;
  FT_DEVICE type = FT_DEVICE_UNKNOWN;
};

struct Tally {
  uint64_t calls = 0;
  std::map<std::string, std::map<FT_STATUS, uint64_t>> statuses;
  std::vector<std::string> failures;
};

class Shared {
 public:
  // Calls with handles the caller does not own hold this shared; closes hold it exclusively.
  std::shared_mutex closeGuard;

  void AddLive(FT_HANDLE handle) {
    std::lock_guard lock(mutex_);
    live_.push_back(handle);
  }
  // Under the exclusive close guard.
  void Closed(FT_HANDLE handle) {
    std::lock_guard lock(mutex_);
    live_.erase(std::remove(live_.begin(), live_.end(), handle), live_.end());
    if (stale_.size() == STALE_KEPT) stale_.erase(stale_.begin());
    stale_.push_back(handle);
  }
  // Under the shared close guard: a handle of someone else, open or closed.
  FT_HANDLE PickOther(std::mt19937_64& random, bool closed) {
    std::lock_guard lock(mutex_);
    const std::vector<FT_HANDLE>& from = closed ? stale_ : live_;
    if (from.empty()) return nullptr;
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  }
  void HandOver(const Owned& owned) {
    std::lock_guard lock(mutex_);
    mailbox_.push_back(owned);
  }
  bool TakeOver(Owned* owned) {
    std::lock_guard lock(mutex_);
    if (mailbox_.empty()) return false;
    *owned = mailbox_.front();
    mailbox_.erase(mailbox_.begin());
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<FT_HANDLE> live_;
  std::vector<FT_HANDLE> stale_;
  std::vector<Owned> mailbox_;
};

// ---- one worker ----

class Worker {
 public:
  Worker(int index, uint64_t seed, uint64_t calls, Shared& shared,
         std::atomic<const char*>& lastCall)
      : index_(index), random_(seed), calls_(calls), shared_(shared), lastCall_(lastCall) {}

  void Run() {
    for (uint64_t i = 0; i < calls_; ++i) Step();
    for (const Owned& owned : owned_) CloseOwned(owned);
    owned_.clear();
    lastCall_ = "done";
  }

  Tally& Result() { return tally_; }

 private:
  // Records one call's status and checks it against its function's table.
  void Check(const char* function, FT_STATUS status, const char* table = nullptr,
             bool ownHandle = false) {
    lastCall_ = function;
    ++tally_.calls;
    ++tally_.statuses[function][status];
    const uint32_t allowed = AllowedStatuses().at(table != nullptr ? table : function);
    const bool known = status < 32 && (allowed & S(status)) != 0;
    if (!known || (ownHandle && status == FT_INVALID_HANDLE)) {
      Fail(std::string(function) + " returned " + std::to_string(status) +
           (ownHandle ? " on an open handle of its own" : ""));
    }
  }
  // A BOOL function: on an owned handle a FALSE must not mean "unknown handle".
  void CheckBool(const char* function, BOOL ok, bool ownHandle) {
    lastCall_ = function;
    ++tally_.calls;
    ++tally_.statuses[function][ok ? FT_OK : FT_IO_ERROR];
    if (!ok && ownHandle && GetLastError() == ERROR_INVALID_HANDLE) {
      Fail(std::string(function) + " refused an open handle of its own");
    }
  }
  void Fail(const std::string& what) {
    if (tally_.failures.size() < 20) {
      tally_.failures.push_back("thread " + std::to_string(index_) + ", call " +
                                std::to_string(tally_.calls) + ": " + what);
    }
  }

  int Draw(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }

  void Step() {
    const int draw = Draw(100);
    if (draw < 12) return Open();
    if (draw < 20) return Enumerate();
    if (draw < 28) return WithOtherHandle();
    if (draw < 30) return Global();
    if (owned_.empty()) return Open();
    const std::size_t slot = static_cast<std::size_t>(Draw(static_cast<int>(owned_.size())));
    if (draw < 34) return CloseOrHandOver(slot);
    if (draw < 44) return Transfer(owned_[slot]);
    if (draw < 50) return Eeprom(owned_[slot]);
    return Configure(owned_[slot]);
  }

  // ---- opening and closing ----

  void Open() {
    Owned taken;
    if (shared_.TakeOver(&taken)) {
      if (owned_.size() < OWNED_MAX) {
        owned_.push_back(taken);
      } else {
        CloseOwned(taken);
      }
      return;
    }
    if (owned_.size() >= OWNED_MAX) return CloseOrHandOver(0);
    const StressDevice& device = STRESS_DEVICES[static_cast<std::size_t>(Draw(6))];
    FT_HANDLE handle = nullptr;
    bool overlapped = false;
    switch (Draw(5)) {
      case 0:
        Check("FT_Open", FT_Open(Draw(8) - 1, &handle));
        break;
      case 1:
        Check("FT_OpenEx",
              FT_OpenEx(const_cast<char*>(device.serial), FT_OPEN_BY_SERIAL_NUMBER, &handle));
        break;
      case 2: {
        char description[] = "USB Serial Bridge";
        Check("FT_OpenEx", FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle));
        break;
      }
      case 3: {
        const auto location = static_cast<std::uintptr_t>(0x0111 + 0x10 * Draw(7));
        Check("FT_OpenEx",
              FT_OpenEx(reinterpret_cast<PVOID>(location), FT_OPEN_BY_LOCATION, &handle));
        break;
      }
      default: {
        overlapped = Draw(2) == 0;
        lastCall_ = "FT_W32_CreateFile";
        handle = FT_W32_CreateFile(device.serial, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FT_OPEN_BY_SERIAL_NUMBER |
                                       (overlapped ? FILE_FLAG_OVERLAPPED : 0u),
                                   nullptr);
        ++tally_.calls;
        if (handle == INVALID_HANDLE_VALUE) handle = nullptr;
        break;
      }
    }
    if (handle == nullptr) return;
    Owned owned{handle, overlapped, false, FT_DEVICE_UNKNOWN};
    char serial[16] = {};
    DWORD id = 0;
    Check("FT_GetDeviceInfo", FT_GetDeviceInfo(handle, &owned.type, &id, serial, nullptr, nullptr),
          nullptr, true);
    for (const StressDevice& known : STRESS_DEVICES) {
      if (std::strcmp(known.serial, serial) == 0) owned.loopback = known.loopback;
    }
    shared_.AddLive(handle);
    owned_.push_back(owned);
  }

  void CloseOwned(const Owned& owned) {
    std::unique_lock lock(shared_.closeGuard);
    if (Draw(2) == 0) {
      lastCall_ = "FT_W32_CloseHandle";
      ++tally_.calls;
      if (!FT_W32_CloseHandle(owned.handle)) Fail("FT_W32_CloseHandle refused an open handle");
    } else {
      const FT_STATUS status = FT_Close(owned.handle);
      Check("FT_Close", status);
      if (status != FT_OK) Fail("FT_Close of an open handle returned " + std::to_string(status));
    }
    shared_.Closed(owned.handle);
  }

  // Closes a handle, or leaves it for another thread to take over and close.
  void CloseOrHandOver(std::size_t slot) {
    const Owned owned = owned_[slot];
    owned_.erase(owned_.begin() + static_cast<std::ptrdiff_t>(slot));
    if (Draw(2) == 0) {
      shared_.HandOver(owned);
    } else {
      CloseOwned(owned);
    }
  }

  // ---- calls without a handle ----

  void Enumerate() {
    switch (Draw(6)) {
      case 0: {
        DWORD count = 0;
        Check("FT_ListDevices", FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY));
        return;
      }
      case 1: {
        char text[64] = {};
        const DWORD query =
            static_cast<DWORD>(Draw(3) == 0 ? FT_OPEN_BY_DESCRIPTION : FT_OPEN_BY_SERIAL_NUMBER);
        Check("FT_ListDevices",
              FT_ListDevices(reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(Draw(8))), text,
                             FT_LIST_BY_INDEX | query));
        return;
      }
      case 2: {
        char texts[16][64] = {};
        char* pointers[17] = {};
        for (int i = 0; i < 16; ++i) pointers[i] = texts[i];
        DWORD count = 0;
        Check("FT_ListDevices",
              FT_ListDevices(pointers, &count, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER));
        return;
      }
      case 3: {
        DWORD locations[16] = {};
        DWORD count = 0;
        Check("FT_ListDevices",
              FT_ListDevices(locations, &count, FT_LIST_ALL | FT_OPEN_BY_LOCATION));
        return;
      }
      case 4: {
        DWORD count = 0;
        Check("FT_CreateDeviceInfoList", FT_CreateDeviceInfoList(&count));
        FT_DEVICE_LIST_INFO_NODE nodes[32] = {};
        Check("FT_GetDeviceInfoList", FT_GetDeviceInfoList(nodes, &count));
        return;
      }
      default: {
        DWORD flags = 0, type = 0, id = 0, location = 0;
        char serial[16] = {}, description[64] = {};
        FT_HANDLE handle = nullptr;
        Check("FT_GetDeviceInfoDetail",
              FT_GetDeviceInfoDetail(static_cast<DWORD>(Draw(8)), &flags, &type, &id, &location,
                                     serial, description, &handle));
        return;
      }
    }
  }

  // Rare: the whole bus. A port cycle takes a device off until a rescan brings it back.
  void Global() {
    const int draw = Draw(100);
    if (draw < 60) {
      DWORD version = 0;
      Check("FT_GetLibraryVersion", FT_GetLibraryVersion(&version));
    } else if (draw < 95) {
      Check("FT_Rescan", FT_Rescan());
    } else if (draw < 99) {
      Check("FT_Reload", FT_Reload(0x1234, 0x5678));  // matches no device
    } else {
      Check("FT_Reload", FT_Reload(0x0403, 0x6014));  // restarts the 232H
    }
  }

  // ---- calls with a handle the caller does not own ----

  void WithOtherHandle() {
    std::shared_lock lock(shared_.closeGuard);
    const int which = Draw(3);
    int bogus = 0;
    FT_HANDLE handle = which == 2 ? nullptr : shared_.PickOther(random_, which == 1);
    const bool neverOpened = handle == nullptr;
    if (neverOpened) {
      const int kind = Draw(3);
      handle = kind == 0 ? INVALID_HANDLE_VALUE : kind == 1 ? nullptr : &bogus;
    }
    FT_STATUS status = FT_OK;
    const char* function = "";
    switch (Draw(9)) {
      case 0: {
        DWORD bytes = 0;
        status = FT_GetQueueStatus(handle, &bytes);
        function = "FT_GetQueueStatus";
        break;
      }
      case 1: {
        ULONG modem = 0;
        status = FT_GetModemStatus(handle, &modem);
        function = "FT_GetModemStatus";
        break;
      }
      case 2: {
        UCHAR latency = 0;
        status = FT_GetLatencyTimer(handle, &latency);
        function = "FT_GetLatencyTimer";
        break;
      }
      case 3:
        status = FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
        function = "FT_Purge";
        break;
      case 4: {
        DWORD rx = 0, tx = 0, events = 0;
        status = FT_GetStatus(handle, &rx, &tx, &events);
        function = "FT_GetStatus";
        break;
      }
      case 5: {
        DWORD version = 0;
        status = FT_GetDriverVersion(handle, &version);
        function = "FT_GetDriverVersion";
        break;
      }
      case 6: {
        FT_DEVICE type = FT_DEVICE_UNKNOWN;
        status = FT_GetDeviceInfo(handle, &type, nullptr, nullptr, nullptr, nullptr);
        Check("FT_GetDeviceInfo", status);
        if (neverOpened && status != FT_NOT_SUPPORTED) Fail("FT_GetDeviceInfo took a bogus handle");
        return;
      }
      case 7: {
        DWORD modem = 0;
        const BOOL ok = FT_W32_GetCommModemStatus(handle, &modem);
        CheckBool("FT_W32_GetCommModemStatus", ok, false);
        if (neverOpened && ok) Fail("FT_W32_GetCommModemStatus took a bogus handle");
        return;
      }
      default:
        if (!neverOpened) return;  // closing is for owners only
        status = FT_Close(handle);
        function = "FT_Close";
        break;
    }
    Check(function, status, std::strcmp(function, "FT_Close") == 0 ? nullptr : "control");
    if (neverOpened && status != FT_INVALID_HANDLE) {
      Fail(std::string(function) + " took a bogus handle: " + std::to_string(status));
    }
  }

  // ---- calls with an owned handle ----

  void Transfer(const Owned& owned) {
    FT_HANDLE handle = owned.handle;
    Check("FT_SetTimeouts", FT_SetTimeouts(handle, STRESS_IO_TIMEOUT_MS, STRESS_IO_TIMEOUT_MS),
          "control", true);
    // A loopback gets random bytes back; a tester gets a greeting and answers it.
    uint8_t out[64];
    DWORD length = 5;
    if (owned.loopback) {
      length = static_cast<DWORD>(1 + Draw(64));
      for (DWORD i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(Draw(256));
    } else {
      const uint8_t hello[] = {0x02, 0x01, 0x01, 0x01, 0x03};
      std::memcpy(out, hello, sizeof hello);
    }
    uint8_t in[64] = {};
    DWORD moved = 0;
    if (owned.overlapped) {
      OVERLAPPED record = {};
      record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      BOOL ok = FT_W32_WriteFile(handle, out, length, &moved, &record);
      if (!ok && GetLastError() == ERROR_IO_PENDING) {
        ok = FT_W32_GetOverlappedResult(handle, &record, &moved, TRUE);
      }
      CheckBool("FT_W32_WriteFile", ok, true);
      ResetEvent(record.hEvent);
      ok = FT_W32_ReadFile(handle, in, length, &moved, &record);
      if (!ok && GetLastError() == ERROR_IO_PENDING) {
        ok = FT_W32_GetOverlappedResult(handle, &record, &moved, TRUE);
      }
      CheckBool("FT_W32_ReadFile", ok, true);
      CloseHandle(record.hEvent);
    } else if (owned.loopback && Draw(4) == 0) {
      // An event wait that the echo ends.
      Check("FT_SetWaitMask", FT_SetWaitMask(handle, EV_RXCHAR), "control", true);
      Check("FT_Write", FT_Write(handle, out, length, &moved), nullptr, true);
      DWORD events = 0;
      if (moved == length) Check("FT_WaitOnMask", FT_WaitOnMask(handle, &events), "control", true);
      Check("FT_Read", FT_Read(handle, in, length, &moved), nullptr, true);
    } else {
      Check("FT_Write", FT_Write(handle, out, length, &moved), nullptr, true);
      Check("FT_Read", FT_Read(handle, in, length, &moved), nullptr, true);
    }
    if (moved > length) Fail("a read delivered more than it asked for");
  }

  void Configure(const Owned& owned) {
    FT_HANDLE h = owned.handle;
    static constexpr ULONG BAUD_RATES[] = {0, 300, 9600, 115200, 3000000, 12000000, 0xFFFFFFFF};
    switch (Draw(26)) {
      case 0:
        return Check("FT_SetBaudRate", FT_SetBaudRate(h, BAUD_RATES[Draw(7)]), nullptr, true);
      case 1:
        return Check(
            "FT_SetDataCharacteristics",
            FT_SetDataCharacteristics(h, static_cast<UCHAR>(Draw(10)), static_cast<UCHAR>(Draw(3)),
                                      static_cast<UCHAR>(Draw(6))),
            "control", true);
      case 2: {
        static constexpr USHORT FLOWS[] = {0x0000, 0x0100, 0x0200, 0x0400, 0x0700};
        return Check("FT_SetFlowControl", FT_SetFlowControl(h, FLOWS[Draw(5)], 0x11, 0x13),
                     "control", true);
      }
      case 3:
        return Check("FT_SetLatencyTimer", FT_SetLatencyTimer(h, static_cast<UCHAR>(Draw(256))),
                     "control", true);
      case 4: {
        UCHAR latency = 0;
        return Check("FT_GetLatencyTimer", FT_GetLatencyTimer(h, &latency), "control", true);
      }
      case 5: {
        struct Line {
          const char* name;
          FT_STATUS (*call)(FT_HANDLE);
        };
        static constexpr Line LINES[] = {
            {"FT_SetDtr", FT_SetDtr},         {"FT_ClrDtr", FT_ClrDtr},
            {"FT_SetRts", FT_SetRts},         {"FT_ClrRts", FT_ClrRts},
            {"FT_SetBreakOn", FT_SetBreakOn}, {"FT_SetBreakOff", FT_SetBreakOff}};
        const Line& line = LINES[Draw(6)];
        return Check(line.name, line.call(h), "control", true);
      }
      case 6:
        return Check("FT_Purge", FT_Purge(h, static_cast<ULONG>(Draw(4))), "control", true);
      case 7: {
        DWORD rx = 0, tx = 0, events = 0;
        Check("FT_GetQueueStatus", FT_GetQueueStatus(h, &rx), "control", true);
        Check("FT_GetQueueStatusEx", FT_GetQueueStatusEx(h, &rx), "control", true);
        return Check("FT_GetStatus", FT_GetStatus(h, &rx, &tx, &events), "control", true);
      }
      case 8: {
        ULONG modem = 0;
        DWORD events = 0;
        Check("FT_GetModemStatus", FT_GetModemStatus(h, &modem), "control", true);
        return Check("FT_GetEventStatus", FT_GetEventStatus(h, &events), "control", true);
      }
      case 9:
        Check("FT_SetEventNotification",
              FT_SetEventNotification(h, static_cast<DWORD>(Draw(8)), nullptr), "control", true);
        return Check("FT_SetChars", FT_SetChars(h, 0x7E, static_cast<UCHAR>(Draw(2)), 0, 0),
                     "control", true);
      case 10: {
        DWORD version = 0;
        LONG port = 0;
        Check("FT_GetDriverVersion", FT_GetDriverVersion(h, &version), "control", true);
        return Check("FT_GetComPortNumber", FT_GetComPortNumber(h, &port), nullptr, true);
      }
      case 11: {
        UCHAR mode = 0;
        Check("FT_SetBitMode",
              FT_SetBitMode(h, static_cast<UCHAR>(Draw(256)), static_cast<UCHAR>(Draw(2))),
              "control", true);
        return Check("FT_GetBitMode", FT_GetBitMode(h, &mode), "control", true);
      }
      case 12:
        Check("FT_SetUSBParameters", FT_SetUSBParameters(h, 64u << Draw(7), 4096), "control", true);
        Check("FT_SetDeadmanTimeout", FT_SetDeadmanTimeout(h, 1000), "control", true);
        return Check("FT_SetResetPipeRetryCount", FT_SetResetPipeRetryCount(h, 50), "control",
                     true);
      case 13:
        return Check("FT_SetDivisor", FT_SetDivisor(h, static_cast<USHORT>(Draw(65536))), "control",
                     true);
      case 14: {
        UCHAR buffer[160] = {};
        const auto length = static_cast<USHORT>(Draw(140));
        Check("FT_VendorCmdGet", FT_VendorCmdGet(h, 0x10, buffer, length), "vendor", true);
        return Check("FT_VendorCmdSetEx", FT_VendorCmdSetEx(h, 0x20, buffer, length), "vendor",
                     true);
      }
      case 15:
        Check("FT_ComPortIdle", FT_ComPortIdle(h), "control", true);
        return Check("FT_ComPortCancelIdle", FT_ComPortCancelIdle(h), "control", true);
      case 16: {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        BOOL ok = FT_W32_GetCommState(h, &dcb);
        CheckBool("FT_W32_GetCommState", ok, true);
        if (ok) CheckBool("FT_W32_SetCommState", FT_W32_SetCommState(h, &dcb), true);
        return;
      }
      case 17: {
        COMMTIMEOUTS timeouts = {};
        CheckBool("FT_W32_GetCommTimeouts", FT_W32_GetCommTimeouts(h, &timeouts), true);
        timeouts = {};
        timeouts.ReadTotalTimeoutConstant = STRESS_IO_TIMEOUT_MS;
        timeouts.WriteTotalTimeoutConstant = STRESS_IO_TIMEOUT_MS;
        return CheckBool("FT_W32_SetCommTimeouts", FT_W32_SetCommTimeouts(h, &timeouts), true);
      }
      case 18: {
        DWORD errors = 0, mask = 0;
        COMSTAT status = {};
        CheckBool("FT_W32_ClearCommError", FT_W32_ClearCommError(h, &errors, &status), true);
        CheckBool("FT_W32_SetCommMask", FT_W32_SetCommMask(h, EV_RXCHAR), true);
        return CheckBool("FT_W32_GetCommMask", FT_W32_GetCommMask(h, &mask), true);
      }
      case 19:
        CheckBool("FT_W32_PurgeComm", FT_W32_PurgeComm(h, static_cast<DWORD>(Draw(16))), true);
        CheckBool("FT_W32_EscapeCommFunction",
                  FT_W32_EscapeCommFunction(h, static_cast<DWORD>(Draw(10))), true);
        return CheckBool("FT_W32_SetupComm", FT_W32_SetupComm(h, 4096, 4096), true);
      case 20:
        CheckBool("FT_W32_SetCommBreak", FT_W32_SetCommBreak(h), true);
        return CheckBool("FT_W32_ClearCommBreak", FT_W32_ClearCommBreak(h), true);
      case 21:
        return CheckBool("FT_W32_CancelIo", FT_W32_CancelIo(h), true);
      case 22:
        Check("FT_StopInTask", FT_StopInTask(h), "control", true);
        return Check("FT_RestartInTask", FT_RestartInTask(h), "control", true);
      case 23:
        if (Draw(2) == 0) return Check("FT_ResetDevice", FT_ResetDevice(h), "control", true);
        return Check("FT_ResetPort", FT_ResetPort(h), "control", true);
      case 24:
        // Rare: the device leaves until the next rescan.
        if (Draw(10) == 0) return Check("FT_CyclePort", FT_CyclePort(h), "control", true);
        return;
      default: {
        DWORD written = 0;
        uint8_t byte = 0x55;
        return Check("FT_Write", FT_Write(h, &byte, 0, &written), nullptr, true);
      }
    }
  }

  void Eeprom(const Owned& owned) {
    FT_HANDLE h = owned.handle;
    switch (Draw(7)) {
      case 0: {
        WORD value = 0;
        return Check("FT_ReadEE", FT_ReadEE(h, static_cast<DWORD>(Draw(1100)), &value), nullptr,
                     true);
      }
      case 1: {
        char manufacturer[64], manufacturerId[64], description[64], serial[64];
        FT_PROGRAM_DATA data = {};
        data.Signature1 = 0;
        data.Signature2 = 0xFFFFFFFF;
        data.Manufacturer = manufacturer;
        data.ManufacturerId = manufacturerId;
        data.Description = description;
        data.SerialNumber = serial;
        return Check("FT_EE_Read", FT_EE_Read(h, &data), nullptr, true);
      }
      case 2: {
        DWORD size = 0;
        return Check("FT_EE_UASize", FT_EE_UASize(h, &size), nullptr, true);
      }
      case 3: {
        UCHAR area[64];
        DWORD read = 0;
        return Check("FT_EE_UARead", FT_EE_UARead(h, area, static_cast<DWORD>(Draw(65)), &read),
                     nullptr, true);
      }
      case 4: {
        UCHAR value = 0;
        return Check("FT_EE_ReadConfig", FT_EE_ReadConfig(h, static_cast<UCHAR>(Draw(256)), &value),
                     nullptr, true);
      }
      case 5: {
        WORD value = 0;
        return Check("FT_EE_ReadECC", FT_EE_ReadECC(h, static_cast<UCHAR>(Draw(4)), &value),
                     nullptr, true);
      }
      default: {
        char manufacturer[64], manufacturerId[64], description[64], serial[64];
        if (owned.type == FT_DEVICE_232H) {
          FT_EEPROM_232H record = {};
          record.common.deviceType = FT_DEVICE_232H;
          return Check("FT_EEPROM_Read",
                       FT_EEPROM_Read(h, &record, sizeof record, manufacturer, manufacturerId,
                                      description, serial),
                       nullptr, true);
        }
        // The 232R record, right for the 232R devices and refused by the others.
        FT_EEPROM_232R record = {};
        record.common.deviceType = FT_DEVICE_232R;
        return Check("FT_EEPROM_Read",
                     FT_EEPROM_Read(h, &record, sizeof record, manufacturer, manufacturerId,
                                    description, serial),
                     nullptr, true);
      }
    }
  }

  // ---- the rest of the thread's state ----

  const int index_;
  std::mt19937_64 random_;
  const uint64_t calls_;
  Shared& shared_;
  std::atomic<const char*>& lastCall_;
  std::vector<Owned> owned_;
  Tally tally_;
};

void AddBenchDevices(sim::Bench& bench) {
  for (const StressDevice& device : STRESS_DEVICES) {
    sim::BridgeDeviceConfig config;
    config.serial = device.serial;
    config.chip = device.chip;
    std::shared_ptr<sim::SerialPeer> peer;
    if (device.loopback) {
      peer = std::make_shared<sim::LoopbackPeer>();
    } else {
      std::string error;
      peer = sim::MakeTesterPeer(nullptr, device.serial, "", &error);
    }
    bench.AddDevice(config, peer);
  }
}

TEST(BridgeStress, EightThreadsCallingAtRandomGetOnlyTheirFunctionsStatuses) {
  const SoakClock::time_point start = SoakClock::now();
  const uint64_t seed = SoakSeed("access-layer stress");
  const uint64_t callsPerThread = Scaled(STRESS_CALLS_PER_THREAD);
  sim::Bench bench;
  AddBenchDevices(bench);
  ASSERT_EQ(FT_Initialise(), FT_OK);

  Shared shared;
  std::array<std::atomic<const char*>, STRESS_THREADS> lastCalls;
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < STRESS_THREADS; ++i) {
    lastCalls[static_cast<std::size_t>(i)] = "start";
    workers.push_back(std::make_unique<Worker>(i, seed + static_cast<uint64_t>(i), callsPerThread,
                                               shared, lastCalls[static_cast<std::size_t>(i)]));
  }

  // Every thread must end: a call that never returns aborts the run, naming where each
  // thread stands, rather than hanging the suite.
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  int done = 0;
  std::vector<std::thread> threads;
  for (auto& worker : workers) {
    threads.emplace_back([&, w = worker.get()] {
      w->Run();
      std::lock_guard lock(doneMutex);
      ++done;
      doneChanged.notify_all();
    });
  }
  {
    std::unique_lock lock(doneMutex);
    if (!doneChanged.wait_for(lock, std::chrono::seconds(STRESS_WATCHDOG_SECONDS),
                              [&] { return done == STRESS_THREADS; })) {
      for (int i = 0; i < STRESS_THREADS; ++i) {
        std::fprintf(stderr, "thread %d stuck in %s\n", i,
                     lastCalls[static_cast<std::size_t>(i)].load());
      }
      std::fprintf(stderr, "access-layer stress hung (seed %llu)\n",
                   static_cast<unsigned long long>(seed));
      std::abort();
    }
  }
  for (std::thread& thread : threads) thread.join();

  // Handles handed over and never taken are closed here.
  for (Owned left; shared.TakeOver(&left);) EXPECT_EQ(FT_Close(left.handle), FT_OK);
  EXPECT_EQ(bridge::OpenHandleCount(), 0u);

  uint64_t calls = 0;
  std::map<std::string, std::map<FT_STATUS, uint64_t>> statuses;
  std::size_t failures = 0;
  for (auto& worker : workers) {
    Tally& tally = worker->Result();
    calls += tally.calls;
    failures += tally.failures.size();
    for (const std::string& failure : tally.failures) ADD_FAILURE() << failure;
    for (const auto& [function, counts] : tally.statuses) {
      for (const auto& [status, count] : counts) statuses[function][status] += count;
    }
  }

  // Every device is back, free, opens by serial number and, on a loopback, echoes.
  ASSERT_EQ(FT_Rescan(), FT_OK);
  DWORD count = 0;
  EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, STRESS_DEVICES.size());
  for (const StressDevice& device : STRESS_DEVICES) {
    SCOPED_TRACE(device.serial);
    EXPECT_FALSE(bench.FindDevice(device.serial)->IsOpen());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OpenEx(const_cast<char*>(device.serial), FT_OPEN_BY_SERIAL_NUMBER, &handle),
              FT_OK);
    if (device.loopback) {
      EXPECT_EQ(FT_SetTimeouts(handle, 1000, 1000), FT_OK);
      EXPECT_EQ(FT_SetBitMode(handle, 0, 0), FT_OK);
      EXPECT_EQ(FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
      uint8_t out[4] = {1, 2, 3, 4}, in[4] = {};
      DWORD moved = 0;
      EXPECT_EQ(FT_Write(handle, out, 4, &moved), FT_OK);
      EXPECT_EQ(FT_Read(handle, in, 4, &moved), FT_OK);
      EXPECT_EQ(moved, 4u);
      EXPECT_EQ(std::memcmp(in, out, 4), 0);
    }
    EXPECT_EQ(FT_Close(handle), FT_OK);
  }

  std::printf("access-layer stress: %d threads, %llu calls in %.1f s, %zu failures\n",
              STRESS_THREADS, static_cast<unsigned long long>(calls),
              MillisecondsSince(start) / 1000.0, failures);
  for (const auto& [function, counts] : statuses) {
    std::printf("  %-28s", function.c_str());
    for (const auto& [status, n] : counts) {
      std::printf(" %llu:%llu", static_cast<unsigned long long>(status),
                  static_cast<unsigned long long>(n));
    }
    std::printf("\n");
  }
}

}  // namespace
}  // namespace ralvex::soak

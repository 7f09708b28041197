// Sequences of FT_* calls chosen by the input, on a bench of loopback, silent and tester devices
// of several chip families. The input is a list of calls: one byte picks the call, the bytes after
// it its handle (one of eight slots, open, closed or never used, or a foreign value) and its
// arguments. Buffers are always valid for the sizes passed; waits are kept to a few milliseconds.
// Every handle still open is closed at the end, and none may be left open.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bridge/handle_record.h"
#include "platform/win32.h"
#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bench_file.h"

namespace {

constexpr const char* BENCH_TEXT = R"(
[[device]]
serial = "LOOP232R"
chip = "232R"
peer = "loopback"

[[device]]
serial = "KORA0001"
description = "PD Tester"
chip = "232R"
peer = "tester"

[[device]]
serial = "DUAL2232H"
chip = "2232H"
peer = "loopback"

[[device]]
serial = "Q4232H01"
chip = "4232H"
eeprom_words = 256
peer = "silent"

[[device]]
serial = "H232H001"
chip = "232H"
eeprom_words = 128

[[device]]
serial = "XS000042"
chip = "X_SERIES"

[[device]]
serial = "BM001"
chip = "BM"
eeprom_words = 64

[[device]]
serial = "HELD0001"
held_open = true
)";

constexpr const char* SERIALS[] = {"LOOP232R", "KORA0001", "DUAL2232H", "Q4232H01", "H232H001",
                                   "XS000042", "BM001",    "HELD0001",  "NOSUCH",   ""};
constexpr const char* DESCRIPTIONS[] = {"PD Tester", "Loopback", "", "DUAL2232H A"};
constexpr DWORD LOCATIONS[] = {0x0111, 0x0121, 0x0131, 0x0241, 0x0000, 0xFFFFFFFF};
constexpr ULONG MAX_WAIT_MS = 3;
constexpr std::size_t SLOTS = 8;

// A broken promise of the interface: says which, then stops the run.
[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "ft_calls: %s\n", what);
  std::abort();
}

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  // Arguments are read in order: each value is a declaration of its own.
  uint16_t Word() {
    const uint16_t low = Byte(), high = Byte();
    return static_cast<uint16_t>(low | high << 8);
  }
  uint32_t Dword() {
    const uint32_t low = Word(), high = Word();
    return low | high << 16;
  }
  template <typename T, std::size_t N>
  const T& Pick(const T (&table)[N]) {
    return table[Byte() % N];
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Session {
  FT_HANDLE slots[SLOTS] = {};
  bool open[SLOTS] = {};
  int foreign = 0;
  HANDLE event = nullptr;

  // A slot's handle (possibly closed: stale), or a value that never was a handle.
  FT_HANDLE Handle(Input& in) {
    const uint8_t pick = in.Byte() % (SLOTS + 3);
    if (pick < SLOTS) return slots[pick];
    if (pick == SLOTS) return nullptr;
    if (pick == SLOTS + 1) return reinterpret_cast<FT_HANDLE>(&foreign);
    return INVALID_HANDLE_VALUE;
  }

  // Resets put the time-outs back to none: short ones again for every open handle.
  void ShortWaits() {
    for (std::size_t i = 0; i < SLOTS; ++i) {
      if (open[i]) FT_SetTimeouts(slots[i], MAX_WAIT_MS, MAX_WAIT_MS);
    }
  }

  void Keep(FT_STATUS status, FT_HANDLE handle) {
    if (status != FT_OK || handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    // Short waits, so that reads on a silent line return at once.
    FT_SetTimeouts(handle, MAX_WAIT_MS, MAX_WAIT_MS);
    for (std::size_t i = 0; i < SLOTS; ++i) {
      if (!open[i]) {
        slots[i] = handle;
        open[i] = true;
        return;
      }
    }
    FT_Close(handle);
  }

  void Closed(FT_HANDLE handle, bool ok) {
    if (!ok) return;
    for (std::size_t i = 0; i < SLOTS; ++i) {
      if (open[i] && slots[i] == handle) open[i] = false;  // the value stays: a stale handle
    }
  }

  void CloseAll() {
    for (std::size_t i = 0; i < SLOTS; ++i) {
      if (open[i] && FT_Close(slots[i]) != FT_OK) Fail("an open handle did not close");
      open[i] = false;
    }
  }
};

void Enumerate(Session&, Input& in) {
  char buffers[16][64];
  char* pointers[17];
  for (std::size_t i = 0; i < 16; ++i) pointers[i] = buffers[i];
  pointers[16] = nullptr;
  DWORD count = 0;
  DWORD locations[16] = {};
  const uint8_t query = in.Byte() & 7;
  switch (in.Byte() % 6) {
    case 0:
      FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY | query);
      break;
    case 1: {
      char one[64];
      DWORD location = 0;
      const DWORD index = in.Byte() % 12;
      FT_ListDevices(reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(index)),
                     (query & FT_OPEN_BY_DESCRIPTION) == 0 && (query & FT_OPEN_BY_LOCATION) != 0
                         ? static_cast<PVOID>(&location)
                         : static_cast<PVOID>(one),
                     FT_LIST_BY_INDEX | query);
      break;
    }
    case 2:
      FT_ListDevices((query & FT_OPEN_BY_DESCRIPTION) == 0 && (query & FT_OPEN_BY_LOCATION) != 0
                         ? static_cast<PVOID>(locations)
                         : static_cast<PVOID>(pointers),
                     &count, FT_LIST_ALL | query);
      break;
    case 3: {
      // No mode, or more than one: refused before either argument is used.
      constexpr DWORD NOT_ONE_MODE[] = {0, 3, 5, 6, 7};
      const FT_STATUS status = FT_ListDevices(&count, &count, in.Pick(NOT_ONE_MODE) << 29 | query);
      if (status != FT_INVALID_PARAMETER && status != FT_DEVICE_NOT_FOUND) {
        Fail("a list call without exactly one mode was not refused");
      }
      break;
    }
    case 4: {
      FT_DEVICE_LIST_INFO_NODE nodes[16];
      if (FT_CreateDeviceInfoList(&count) == FT_OK && count <= 16) {
        FT_GetDeviceInfoList(in.Byte() & 1 ? nodes : nullptr, &count);
      }
      break;
    }
    case 5: {
      DWORD flags = 0, type = 0, id = 0, location = 0;
      char serial[16], description[64];
      FT_HANDLE handle = nullptr;
      const bool all = in.Byte() & 1;
      FT_GetDeviceInfoDetail(in.Byte() % 12, &flags, all ? &type : nullptr, &id,
                             all ? &location : nullptr, serial, all ? description : nullptr,
                             &handle);
      break;
    }
  }
}

void Open(Session& session, Input& in) {
  FT_HANDLE handle = nullptr;
  switch (in.Byte() % 4) {
    case 0: {
      const FT_STATUS status = FT_Open(static_cast<int>(in.Byte() % 11) - 1, &handle);
      session.Keep(status, handle);
    } break;
    case 1: {
      const uint8_t how = in.Byte();
      const DWORD flags = how & 7;
      if (flags == FT_OPEN_BY_LOCATION) {
        const DWORD location = in.Pick(LOCATIONS);
        const FT_STATUS status = FT_OpenEx(
            reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(location)), flags, &handle);
        session.Keep(status, handle);
      } else {
        const char* text = (how & 8) ? in.Pick(DESCRIPTIONS) : in.Pick(SERIALS);
        const FT_STATUS status = FT_OpenEx(const_cast<char*>(text), flags, &handle);
        session.Keep(status, handle);
      }
      break;
    }
    case 2: {
      const uint8_t how = in.Byte();
      const char* text = (how & 8) ? in.Pick(DESCRIPTIONS) : in.Pick(SERIALS);
      handle = FT_W32_CreateFile(text, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | (how & 7u), nullptr);
      session.Keep(handle == INVALID_HANDLE_VALUE ? FT_INVALID_HANDLE : FT_OK, handle);
      break;
    }
    case 3: {
      const FT_HANDLE victim = session.Handle(in);
      if (in.Byte() & 1) {
        session.Closed(victim, FT_Close(victim) == FT_OK);
      } else {
        session.Closed(victim, FT_W32_CloseHandle(victim) != FALSE);
      }
      break;
    }
  }
}

void Configure(Session& session, Input& in) {
  const FT_HANDLE h = session.Handle(in);
  switch (in.Byte() % 16) {
    case 0:
      FT_SetBaudRate(h, in.Dword());
      break;
    case 1:
      FT_SetDivisor(h, in.Word());
      break;
    case 2: {
      const UCHAR bits = in.Byte(), stop = in.Byte(), parity = in.Byte();
      FT_SetDataCharacteristics(h, bits, stop, parity);
    } break;
    case 3: {
      const USHORT flow = in.Word();
      const UCHAR on = in.Byte(), off = in.Byte();
      FT_SetFlowControl(h, flow, on, off);
    } break;
    case 4: {
      const UCHAR event = in.Byte(), eventOn = in.Byte(), error = in.Byte(), errorOn = in.Byte();
      FT_SetChars(h, event, eventOn, error, errorOn);
    } break;
    case 5: {
      // 0 would mean no time-out at all: a read on a quiet line would never return.
      const ULONG read = 1 + in.Byte() % MAX_WAIT_MS, write = 1 + in.Byte() % MAX_WAIT_MS;
      FT_SetTimeouts(h, read, write);
    } break;
    case 6:
      switch (in.Byte() % 6) {
        case 0:
          FT_SetDtr(h);
          break;
        case 1:
          FT_ClrDtr(h);
          break;
        case 2:
          FT_SetRts(h);
          break;
        case 3:
          FT_ClrRts(h);
          break;
        case 4:
          FT_SetBreakOn(h);
          break;
        case 5:
          FT_SetBreakOff(h);
          break;
      }
      break;
    case 7:
      FT_Purge(h, in.Byte());
      break;
    case 8: {
      UCHAR latency = 0;
      if (in.Byte() & 1) {
        FT_SetLatencyTimer(h, in.Byte());
      } else {
        FT_GetLatencyTimer(h, &latency);
      }
      break;
    }
    case 9: {
      UCHAR mode = 0;
      if (in.Byte() & 1) {
        const UCHAR mask = in.Byte(), mode = in.Byte();
        FT_SetBitMode(h, mask, mode);
      } else {
        FT_GetBitMode(h, &mode);
      }
      break;
    }
    case 10: {
      const ULONG inSize = in.Dword(), outSize = in.Dword();
      FT_SetUSBParameters(h, inSize, outSize);
    } break;
    case 11:
      FT_SetDeadmanTimeout(h, in.Dword());
      FT_SetResetPipeRetryCount(h, in.Dword());
      break;
    case 12:
      FT_SetEventNotification(h, in.Dword(), session.event);
      break;
    case 13:
      FT_SetWaitMask(h, in.Dword());
      break;
    case 14:
      if (in.Byte() & 1) {
        FT_ComPortIdle(h);
      } else {
        FT_ComPortCancelIdle(h);
      }
      break;
    case 15: {
      switch (in.Byte() % 7) {
        case 0:
          FT_ResetDevice(h);
          break;
        case 1:
          FT_ResetPort(h);
          break;
        case 2:
          FT_CyclePort(h);
          break;
        case 3:
          FT_StopInTask(h);
          break;
        case 4:
          FT_RestartInTask(h);
          break;
        case 5:
          FT_Rescan();
          break;
        case 6: {
          const WORD vid = in.Word(), pid = in.Word();
          FT_Reload(vid, pid);
        } break;
      }
      session.ShortWaits();
      break;
    }
  }
}

void Transfer(Session& session, Input& in) {
  const FT_HANDLE h = session.Handle(in);
  uint8_t buffer[512];
  DWORD done = 0;
  const DWORD length = in.Byte();
  for (DWORD i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(i * 7 + length);
  switch (in.Byte() % 5) {
    case 0:
      if (FT_Write(h, buffer, length, &done) == FT_OK && done > length)
        Fail("wrote more than given");
      break;
    case 1:
      if (FT_Read(h, buffer, length, &done) == FT_OK && done > length) Fail("read more than asked");
      break;
    case 2:
      FT_W32_WriteFile(h, buffer, length, &done, nullptr);
      break;
    case 3:
      FT_W32_ReadFile(h, buffer, length, &done, nullptr);
      break;
    case 4: {
      DWORD rx = 0, tx = 0, events = 0;
      ULONG modem = 0;
      FT_GetStatus(h, &rx, &tx, &events);
      FT_GetQueueStatus(h, &rx);
      FT_GetQueueStatusEx(h, &rx);
      FT_GetEventStatus(h, &events);
      FT_GetModemStatus(h, &modem);
      break;
    }
  }
}

void Comm(Session& session, Input& in) {
  const FT_HANDLE h = session.Handle(in);
  switch (in.Byte() % 8) {
    case 0: {
      DCB dcb{};
      dcb.DCBlength = sizeof dcb;
      if (FT_W32_GetCommState(h, &dcb)) {
        dcb.BaudRate = in.Dword();
        dcb.ByteSize = in.Byte();
        dcb.Parity = in.Byte();
        dcb.StopBits = in.Byte();
        FT_W32_SetCommState(h, &dcb);
      }
      break;
    }
    case 1: {
      COMMTIMEOUTS timeouts{};
      FT_W32_GetCommTimeouts(h, &timeouts);
      timeouts.ReadIntervalTimeout = in.Byte() % (MAX_WAIT_MS + 1);
      timeouts.ReadTotalTimeoutConstant = 1 + in.Byte() % MAX_WAIT_MS;
      timeouts.ReadTotalTimeoutMultiplier = 0;
      timeouts.WriteTotalTimeoutConstant = 1 + in.Byte() % MAX_WAIT_MS;
      timeouts.WriteTotalTimeoutMultiplier = 0;
      FT_W32_SetCommTimeouts(h, &timeouts);
      break;
    }
    case 2: {
      DWORD errors = 0;
      COMSTAT status{};
      FT_W32_ClearCommError(h, &errors, (in.Byte() & 1) ? &status : nullptr);
      break;
    }
    case 3:
      FT_W32_PurgeComm(h, in.Byte());
      break;
    case 4:
      FT_W32_EscapeCommFunction(h, in.Byte());
      break;
    case 5: {
      const DWORD readSize = in.Dword(), writeSize = in.Dword();
      FT_W32_SetupComm(h, readSize, writeSize);
    } break;
    case 6: {
      DWORD mask = 0;
      FT_W32_SetCommMask(h, in.Dword());
      FT_W32_GetCommMask(h, &mask);
      FT_W32_GetCommModemStatus(h, &mask);
      break;
    }
    case 7:
      if (in.Byte() & 1) {
        FT_W32_SetCommBreak(h);
      } else {
        FT_W32_ClearCommBreak(h);
      }
      FT_W32_GetLastError(h);
      break;
  }
}

void Eeprom(Session& session, Input& in) {
  const FT_HANDLE h = session.Handle(in);
  char manufacturer[64] = "Ralvex", id[64] = "RX", description[64] = "Bridge",
       serial[64] = "RX0001";
  switch (in.Byte() % 9) {
    case 0: {
      WORD value = 0;
      FT_ReadEE(h, in.Word() % 1100, &value);
      break;
    }
    case 1: {
      const DWORD offset = in.Word() % 1100;
      const WORD value = in.Word();
      FT_WriteEE(h, offset, value);
    } break;
    case 2:
      FT_EraseEE(h);
      break;
    case 3: {
      FT_PROGRAM_DATA data{};
      data.Signature2 = 0xFFFFFFFF;
      data.Manufacturer = manufacturer;
      data.ManufacturerId = id;
      data.Description = description;
      data.SerialNumber = serial;
      if (FT_EE_Read(h, &data) != FT_OK) {
        data = FT_PROGRAM_DATA{};
        data.Signature2 = 0xFFFFFFFF;
        data.VendorId = 0x0403;
        data.ProductId = in.Word();
        data.MaxPower = in.Word();
        std::strcpy(manufacturer, "Ralvex");
        std::strcpy(id, "RX");
        std::strcpy(description, "Bridge");
        serial[0] = '\0';
        data.Manufacturer = manufacturer;
        data.ManufacturerId = id;
        data.Description = description;
        data.SerialNumber = serial;
      }
      if (in.Byte() & 1) FT_EE_Program(h, &data);
      break;
    }
    case 4: {
      DWORD size = 0, count = 0;
      uint8_t area[2048];
      const DWORD length = in.Word() % sizeof area;
      std::memset(area, in.Byte(), length);
      FT_EE_UASize(h, &size);
      if (in.Byte() & 1) {
        FT_EE_UAWrite(h, area, length);
      } else if (FT_EE_UARead(h, area, length, &count) == FT_OK && count > length) {
        Fail("user area read past the buffer");
      }
      break;
    }
    case 5: {
      FT_DEVICE type = FT_DEVICE_UNKNOWN;
      DWORD deviceId = 0;
      alignas(8) uint8_t record[256] = {};
      FT_GetDeviceInfo(h, &type, &deviceId, nullptr, nullptr, nullptr);
      const DWORD size = in.Byte() % 64;
      std::memcpy(record, &type, sizeof type);
      if (FT_EEPROM_Read(h, record, size, manufacturer, id, description, serial) == FT_OK &&
          (in.Byte() & 1)) {
        FT_EEPROM_Program(h, record, size, manufacturer, id, description,
                          (in.Byte() & 1) ? serial : nullptr);
      }
      break;
    }
    case 6: {
      UCHAR value = 0;
      const UCHAR address = in.Byte();
      if (in.Byte() & 1) {
        FT_EE_WriteConfig(h, address, in.Byte());
      } else {
        FT_EE_ReadConfig(h, address, &value);
      }
      break;
    }
    case 7: {
      WORD value = 0;
      FT_EE_ReadECC(h, in.Byte(), &value);
      break;
    }
    case 8: {
      FT_PROGRAM_DATA data{};
      data.Signature2 = 0xFFFFFFFF;
      FT_EE_ReadEx(h, &data, manufacturer, id, description, serial);
      break;
    }
  }
}

void Query(Session& session, Input& in) {
  const FT_HANDLE h = session.Handle(in);
  uint8_t buffer[256] = {};
  DWORD value = 0;
  switch (in.Byte() % 6) {
    case 0: {
      FT_DEVICE type = FT_DEVICE_UNKNOWN;
      char serial[16], description[64];
      FT_GetDeviceInfo(h, &type, &value, serial, description, &value);
      break;
    }
    case 1:
      FT_GetDriverVersion(h, &value);
      FT_GetLibraryVersion(&value);
      break;
    case 2: {
      LONG port = 0;
      FT_GetComPortNumber(h, &port);
      break;
    }
    case 3: {
      const DWORD code = in.Dword();
      const DWORD inLength = in.Byte() % 64, outLength = in.Byte() % 64;
      FT_IoCtl(h, code, inLength ? buffer : nullptr, inLength, outLength ? buffer + 64 : nullptr,
               outLength, &value, nullptr);
      break;
    }
    case 4: {
      const UCHAR request = in.Byte();
      const USHORT length = in.Byte() % 140;
      if (in.Byte() & 1) {
        FT_VendorCmdGet(h, request, buffer, length);
      } else {
        FT_VendorCmdSet(h, request, buffer, length);
      }
      break;
    }
    case 5: {
      const USHORT wValue = in.Word();
      const USHORT length = in.Byte() % 140;
      if (in.Byte() & 1) {
        FT_VendorCmdGetEx(h, wValue, buffer, length);
      } else {
        FT_VendorCmdSetEx(h, wValue, buffer, length);
      }
      break;
    }
  }
}

std::unique_ptr<ralvex::sim::Bench> MakeBench() {
  ralvex::sim::BenchLayout layout;
  std::string error;
  std::unique_ptr<ralvex::sim::Bench> bench;
  if (ralvex::sim::ParseBenchText(BENCH_TEXT, "ft_calls", "", &layout, &error)) {
    bench = ralvex::sim::BuildBench(layout, &error);
  }
  if (!bench) Fail(error.c_str());
  return bench;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::unique_ptr<ralvex::sim::Bench> bench = MakeBench();
  Session session;
  session.event = event;
  Input in(data, size);
  // A bounded number of calls per input keeps every run short.
  for (int calls = 0; calls < 64 && !in.Empty(); ++calls) {
    switch (in.Byte() % 6) {
      case 0:
        Open(session, in);
        break;
      case 1:
        Enumerate(session, in);
        break;
      case 2:
        Configure(session, in);
        break;
      case 3:
        Transfer(session, in);
        break;
      case 4:
        Comm(session, in);
        break;
      case 5:
        Eeprom(session, in);
        break;
    }
    if (!in.Empty() && (in.Byte() & 0x80)) Query(session, in);
  }
  session.CloseAll();
  if (ralvex::bridge::OpenHandleCount() != 0) Fail("a handle was left open");
  return 0;
}

// The exported interface: the shared library exports exactly the FT_* functions of the public
// header, and the header works from C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "ralvex/bridge.h"

extern "C" {
size_t CHeaderNodeSize(void);
size_t CHeaderHandleOffset(void);
int CHeaderCallsWork(void);
}

namespace {

const std::set<std::string>& InterfaceFunctions() {
  static const std::set<std::string> names = {
      // driver channel, enumeration, open and close, reset
      "FT_Initialise", "FT_Finalise", "FT_GetLibraryVersion", "FT_GetDriverVersion",
      "FT_GetDeviceInfo", "FT_IoCtl", "FT_ListDevices", "FT_CreateDeviceInfoList",
      "FT_GetDeviceInfoList", "FT_GetDeviceInfoDetail", "FT_Open", "FT_OpenEx", "FT_Close",
      "FT_W32_CreateFile", "FT_W32_CloseHandle", "FT_ResetDevice", "FT_ResetPort", "FT_CyclePort",
      "FT_StopInTask", "FT_RestartInTask", "FT_Rescan", "FT_Reload",
      // port configuration
      "FT_SetBaudRate", "FT_SetDivisor", "FT_SetDataCharacteristics", "FT_SetFlowControl",
      "FT_SetChars", "FT_SetTimeouts", "FT_SetDtr", "FT_ClrDtr", "FT_SetRts", "FT_ClrRts",
      "FT_SetBreakOn", "FT_SetBreakOff", "FT_Purge", "FT_SetLatencyTimer", "FT_GetLatencyTimer",
      "FT_SetBitMode", "FT_GetBitMode", "FT_SetUSBParameters", "FT_SetDeadmanTimeout",
      "FT_SetResetPipeRetryCount", "FT_SetEventNotification", "FT_SetWaitMask", "FT_WaitOnMask",
      "FT_GetStatus", "FT_GetModemStatus", "FT_GetQueueStatus", "FT_GetQueueStatusEx",
      "FT_GetEventStatus", "FT_GetComPortNumber", "FT_ComPortIdle", "FT_ComPortCancelIdle",
      "FT_VendorCmdGet", "FT_VendorCmdSet", "FT_VendorCmdGetEx", "FT_VendorCmdSetEx",
      // comm functions
      "FT_W32_SetCommState", "FT_W32_GetCommState", "FT_W32_SetCommTimeouts",
      "FT_W32_GetCommTimeouts", "FT_W32_SetCommMask", "FT_W32_GetCommMask", "FT_W32_WaitCommEvent",
      "FT_W32_GetCommModemStatus", "FT_W32_ClearCommError", "FT_W32_PurgeComm",
      "FT_W32_SetCommBreak", "FT_W32_ClearCommBreak", "FT_W32_EscapeCommFunction",
      "FT_W32_SetupComm",
      // data transfer
      "FT_Read", "FT_Write", "FT_W32_ReadFile", "FT_W32_WriteFile", "FT_W32_GetOverlappedResult",
      "FT_W32_CancelIo", "FT_W32_GetLastError",
      // EEPROM programming
      "FT_ReadEE", "FT_WriteEE", "FT_EraseEE", "FT_EE_Read", "FT_EE_ReadEx", "FT_EE_Program",
      "FT_EE_ProgramEx", "FT_EE_UASize", "FT_EE_UARead", "FT_EE_UAWrite", "FT_EE_ReadConfig",
      "FT_EE_WriteConfig", "FT_EE_ReadECC", "FT_EEPROM_Read", "FT_EEPROM_Program"};
  return names;
}

template <typename T>
bool ReadAt(const std::vector<char>& file, uint64_t offset, T* value) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(value, file.data() + offset, sizeof(T));
  return true;
}

// Names of the defined, globally visible functions in a 64-bit ELF file's dynamic symbol table.
bool ExportedFunctions(const std::string& path, std::set<std::string>* names) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 64 ||
      std::memcmp(file.data(),
                  "\x7F"
                  "ELF",
                  4) != 0 ||
      file[4] != 2) {
    return false;  // not a 64-bit ELF file
  }
  uint64_t sectionOffset = 0;
  uint16_t sectionSize = 0, sectionCount = 0;
  if (!ReadAt(file, 0x28, &sectionOffset) || !ReadAt(file, 0x3A, &sectionSize) ||
      !ReadAt(file, 0x3C, &sectionCount) || sectionSize < 64) {
    return false;
  }
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint64_t header = sectionOffset + uint64_t{i} * sectionSize;
    uint32_t type = 0, link = 0;
    uint64_t offset = 0, size = 0, entrySize = 0;
    if (!ReadAt(file, header + 4, &type) || !ReadAt(file, header + 24, &offset) ||
        !ReadAt(file, header + 32, &size) || !ReadAt(file, header + 40, &link) ||
        !ReadAt(file, header + 56, &entrySize)) {
      return false;
    }
    if (type != 11 /* SHT_DYNSYM */ || entrySize < 24) continue;
    uint64_t strings = 0;
    if (!ReadAt(file, sectionOffset + uint64_t{link} * sectionSize + 24, &strings)) {
      return false;
    }
    for (uint64_t symbol = offset; symbol + entrySize <= offset + size; symbol += entrySize) {
      uint32_t name = 0;
      uint8_t info = 0, other = 0;
      uint16_t section = 0;
      if (!ReadAt(file, symbol, &name) || !ReadAt(file, symbol + 4, &info) ||
          !ReadAt(file, symbol + 5, &other) || !ReadAt(file, symbol + 6, &section)) {
        return false;
      }
      const bool function = (info & 0xF) == 2;
      const bool global = (info >> 4) == 1 || (info >> 4) == 2;
      const bool visible = (other & 3) == 0 || (other & 3) == 3;
      if (!function || !global || !visible || section == 0) continue;
      const uint64_t at = strings + name;
      if (at >= file.size()) return false;
      names->insert(std::string(file.data() + at, strnlen(file.data() + at, file.size() - at)));
    }
    return true;
  }
  return false;
}

#ifdef RALVEX_BRIDGE_LIBRARY
TEST(ExportSharedLibrary, ExportsEveryInterfaceFunctionAndNoOtherFtName) {
  std::set<std::string> exported;
  ASSERT_TRUE(ExportedFunctions(RALVEX_BRIDGE_LIBRARY, &exported)) << RALVEX_BRIDGE_LIBRARY;
  std::set<std::string> ftNames;
  for (const std::string& name : exported) {
    if (name.rfind("FT_", 0) == 0) ftNames.insert(name);
  }
  std::vector<std::string> missing;
  std::set_difference(InterfaceFunctions().begin(), InterfaceFunctions().end(), ftNames.begin(),
                      ftNames.end(), std::back_inserter(missing));
  EXPECT_THAT(missing, ::testing::IsEmpty());
  EXPECT_EQ(ftNames.size(), 93u);
  EXPECT_EQ(InterfaceFunctions().size(), 93u);
}

TEST(ExportSharedLibrary, ExportsNothingButTheInterface) {
  std::set<std::string> exported;
  ASSERT_TRUE(ExportedFunctions(RALVEX_BRIDGE_LIBRARY, &exported));
  std::vector<std::string> internal;
  for (const std::string& name : exported) {
    if (name.rfind("_ZN6ralvex", 0) == 0) internal.push_back(name);
  }
  EXPECT_THAT(internal, ::testing::IsEmpty());
}
#endif

TEST(ExportCHeader, StandsAloneAsCAndAgreesOnTheRecordLayout) {
  EXPECT_EQ(CHeaderNodeSize(), sizeof(FT_DEVICE_LIST_INFO_NODE));
  EXPECT_EQ(CHeaderHandleOffset(), 96u);
  EXPECT_EQ(sizeof(FT_DEVICE_LIST_INFO_NODE), sizeof(void*) == 8 ? 104u : 100u);
  EXPECT_TRUE(CHeaderCallsWork());
}

}  // namespace

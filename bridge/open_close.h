// Opening a device by index, and closing it: the core that FT_Open, FT_OpenEx,
// FT_W32_CreateFile and the enumeration functions share.
#pragma once

#include <cstdint>

#include "bridge/handle_record.h"

namespace ralvex::bridge {

// The CreateFileA arguments used on the interface path.
struct DeviceOpenArguments {
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD shareMode = 0;  // exclusive
  LPSECURITY_ATTRIBUTES security = nullptr;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = 0;
  HANDLE templateFile = nullptr;
};

// The flags a device path is opened with: the caller's, plus session awareness on a server
// edition.
DWORD DeviceOpenFlags(DWORD callerFlags);

// Opens the device at `index` of a fresh enumeration, creates its record, learns its identity
// and packet size, and returns the record in *record. Initialises the layer and holds the open
// lock throughout. Statuses: FT_INSUFFICIENT_RESOURCES, FT_DEVICE_NOT_FOUND,
// FT_DEVICE_NOT_OPENED, FT_OK.
FT_STATUS OpenDeviceByIndex(uint32_t index, const DeviceOpenArguments& arguments,
                            FtHandleRecord** record);

// Closes an open record under the open lock. FT_DEVICE_NOT_FOUND when it was no longer in the
// list (another thread closed it first); nothing is touched then.
FT_STATUS CloseRecord(FtHandleRecord* record);

}  // namespace ralvex::bridge

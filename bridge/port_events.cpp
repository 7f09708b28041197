// Event masks, waits and notification.
#include "bridge/port_request.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_SetEventNotification(FT_HANDLE ftHandle, DWORD Mask, PVOID Param) {
  // The request has 32-bit fields: the driver gets the low 32 bits of the handle and parameter.
  uint8_t payload[12];
  PutLe32(payload, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ftHandle)));
  PutLe32(payload + 4, Mask);
  PutLe32(payload + 8, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Param)));
  return SendPortRequest(ftHandle, SLOT_SET_EVENT_NOTIFICATION, payload, sizeof payload, nullptr,
                         0);
}

FT_STATUS FT_CALL FT_SetWaitMask(FT_HANDLE ftHandle, DWORD Mask) {
  return SendPortWord(ftHandle, SLOT_SET_WAIT_MASK, Mask);
}

FT_STATUS FT_CALL FT_WaitOnMask(FT_HANDLE ftHandle, DWORD* Mask) {
  if (Mask == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  // Blocks in the driver until an event of the wait mask occurs.
  uint8_t reply[4] = {};
  const FT_STATUS status =
      SendPortRequest(ftHandle, SLOT_WAIT_ON_MASK, nullptr, 0, reply, sizeof reply);
  if (status == FT_OK) {
    *Mask = GetLe32(reply);
  }
  return status;
}

FT_STATUS FT_CALL FT_GetEventStatus(FT_HANDLE ftHandle, DWORD* dwEventDWord) {
  return QueryWord(ftHandle, SLOT_GET_EVENT_STATUS, dwEventDWord);
}

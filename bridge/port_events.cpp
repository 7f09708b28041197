// Event masks, waits and notification.
#include <cstdint>

#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_SetEventNotification(FT_HANDLE ftHandle, DWORD Mask, PVOID Param) {
  // The request has 32-bit fields: the driver gets the low 32 bits of the handle and parameter.
  uint8_t payload[12];
  PutLe32(payload, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ftHandle)));
  PutLe32(payload + 4, Mask);
  PutLe32(payload + 8, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Param)));
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_EVENT_NOTIFICATION, payload, {}));
}

FT_STATUS FT_CALL FT_SetWaitMask(FT_HANDLE ftHandle, DWORD Mask) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_WAIT_MASK, Le32(Mask), {}));
}

FT_STATUS FT_CALL FT_WaitOnMask(FT_HANDLE ftHandle, DWORD* Mask) {
  if (Mask == nullptr) return FT_INVALID_PARAMETER;
  // Blocks in the driver until an event of the wait mask occurs.
  uint8_t reply[4] = {};
  const RequestOutcome outcome = SendRequest(LookupHandle(ftHandle), SLOT_WAIT_ON_MASK, {}, reply);
  if (outcome == REQUEST_ACCEPTED) *Mask = GetLe32(reply);
  return FtStatusOf(outcome);
}

FT_STATUS FT_CALL FT_GetEventStatus(FT_HANDLE ftHandle, DWORD* dwEventDWord) {
  if (dwEventDWord == nullptr) return FT_INVALID_PARAMETER;
  // The caller's word goes out and the reply comes back in its place.
  std::array<uint8_t, 4> word = Le32(*dwEventDWord);
  const RequestOutcome outcome =
      SendRequest(LookupHandle(ftHandle), SLOT_GET_EVENT_STATUS, word, word);
  if (outcome == REQUEST_ACCEPTED) *dwEventDWord = GetLe32(word.data());
  return FtStatusOf(outcome);
}

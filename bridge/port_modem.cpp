// Modem-control lines, break and modem status.
#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_SetDtr(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_DTR, {}, {}));
}

FT_STATUS FT_CALL FT_ClrDtr(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_CLR_DTR, {}, {}));
}

FT_STATUS FT_CALL FT_SetRts(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_RTS, {}, {}));
}

FT_STATUS FT_CALL FT_ClrRts(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_CLR_RTS, {}, {}));
}

FT_STATUS FT_CALL FT_SetBreakOn(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_BREAK_ON, {}, {}));
}

FT_STATUS FT_CALL FT_SetBreakOff(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_BREAK_OFF, {}, {}));
}

FT_STATUS FT_CALL FT_GetModemStatus(FT_HANDLE ftHandle, ULONG* pModemStatus) {
  if (pModemStatus == nullptr) return FT_INVALID_PARAMETER;
  // The caller's word goes out and the reply comes back in its place.
  std::array<uint8_t, 4> word = Le32(*pModemStatus);
  const RequestOutcome outcome =
      SendRequest(LookupHandle(ftHandle), SLOT_GET_MODEM_STATUS, word, word);
  if (outcome == REQUEST_ACCEPTED) *pModemStatus = GetLe32(word.data());
  return FtStatusOf(outcome);
}

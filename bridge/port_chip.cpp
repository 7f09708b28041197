// Chip modes and port properties: latency timer, bit mode, USB transfer sizes, dead-man time-out,
// pipe retries, COM port number and idle state.
#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

namespace {

// A one-byte reply; the caller's byte is written only when the driver answers.
FT_STATUS GetChipByte(FT_HANDLE handle, uint32_t slot, UCHAR* byte) {
  if (byte == nullptr) return FT_INVALID_PARAMETER;
  uint8_t reply = 0;
  const RequestOutcome outcome = SendRequest(LookupHandle(handle), slot, {}, BytesOf(reply));
  if (outcome == REQUEST_ACCEPTED) *byte = reply;
  return FtStatusOf(outcome);
}

}  // namespace

FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency) {
  return FtStatusOf(
      SendRequest(LookupHandle(ftHandle), SLOT_SET_LATENCY_TIMER, BytesOf(ucLatency), {}));
}

FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE ftHandle, PUCHAR pucLatency) {
  return GetChipByte(ftHandle, SLOT_GET_LATENCY_TIMER, pucLatency);
}

FT_STATUS FT_CALL FT_SetBitMode(FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable) {
  const uint8_t payload[2] = {ucMask, ucEnable};
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_BIT_MODE, payload, {}));
}

FT_STATUS FT_CALL FT_GetBitMode(FT_HANDLE ftHandle, PUCHAR pucMode) {
  return GetChipByte(ftHandle, SLOT_GET_BIT_MODE, pucMode);
}

FT_STATUS FT_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                      ULONG ulOutTransferSize) {
  uint8_t payload[8];
  PutLe32(payload, ulInTransferSize);
  PutLe32(payload + 4, ulOutTransferSize);
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_USB_PARAMETERS, payload, {}));
}

FT_STATUS FT_CALL FT_SetDeadmanTimeout(FT_HANDLE ftHandle, ULONG ulDeadmanTimeout) {
  return FtStatusOf(
      SendRequest(LookupHandle(ftHandle), SLOT_SET_DEADMAN_TIMEOUT, Le32(ulDeadmanTimeout), {}));
}

FT_STATUS FT_CALL FT_SetResetPipeRetryCount(FT_HANDLE ftHandle, DWORD dwCount) {
  return FtStatusOf(
      SendRequest(LookupHandle(ftHandle), SLOT_SET_RESET_PIPE_RETRY_COUNT, Le32(dwCount), {}));
}

FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lpdwComPortNumber) {
  if (lpdwComPortNumber == nullptr) return FT_INVALID_PARAMETER;
  const FT_STATUS status = FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_GET_COM_PORT_NUMBER,
                                                  {}, BytesOf(*lpdwComPortNumber)));
  // The driver reports 0 for a device without a COM port; callers test for -1. Done whatever the
  // status, so a caller that did not check it still does not take 0 for a port.
  if (*lpdwComPortNumber == 0) *lpdwComPortNumber = -1;
  return status;
}

FT_STATUS FT_CALL FT_ComPortIdle(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_COM_PORT_IDLE, {}, {}));
}

FT_STATUS FT_CALL FT_ComPortCancelIdle(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_COM_PORT_CANCEL_IDLE, {}, {}));
}

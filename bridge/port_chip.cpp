// Chip modes and port properties: latency timer, bit mode, USB transfer sizes, dead-man time-out,
// pipe retries, COM port number and idle state.
#include "bridge/port_request.h"

using namespace ralvex::bridge;

namespace {

// A one-byte reply; the caller's byte is written only when the driver answers.
FT_STATUS QueryByte(FT_HANDLE handle, uint32_t slot, UCHAR* byte) {
  if (byte == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  UCHAR reply = 0;
  const FT_STATUS status = SendPortRequest(handle, slot, nullptr, 0, &reply, sizeof reply);
  if (status == FT_OK) {
    *byte = reply;
  }
  return status;
}

}  // namespace

FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency) {
  return SendPortRequest(ftHandle, SLOT_SET_LATENCY_TIMER, &ucLatency, sizeof ucLatency, nullptr,
                         0);
}

FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE ftHandle, PUCHAR pucLatency) {
  return QueryByte(ftHandle, SLOT_GET_LATENCY_TIMER, pucLatency);
}

FT_STATUS FT_CALL FT_SetBitMode(FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable) {
  const uint8_t payload[2] = {ucMask, ucEnable};
  return SendPortRequest(ftHandle, SLOT_SET_BIT_MODE, payload, sizeof payload, nullptr, 0);
}

FT_STATUS FT_CALL FT_GetBitMode(FT_HANDLE ftHandle, PUCHAR pucMode) {
  return QueryByte(ftHandle, SLOT_GET_BIT_MODE, pucMode);
}

FT_STATUS FT_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                      ULONG ulOutTransferSize) {
  uint8_t payload[8];
  PutLe32(payload, ulInTransferSize);
  PutLe32(payload + 4, ulOutTransferSize);
  return SendPortRequest(ftHandle, SLOT_SET_USB_PARAMETERS, payload, sizeof payload, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetDeadmanTimeout(FT_HANDLE ftHandle, ULONG ulDeadmanTimeout) {
  return SendPortWord(ftHandle, SLOT_SET_DEADMAN_TIMEOUT, ulDeadmanTimeout);
}

FT_STATUS FT_CALL FT_SetResetPipeRetryCount(FT_HANDLE ftHandle, DWORD dwCount) {
  return SendPortWord(ftHandle, SLOT_SET_RESET_PIPE_RETRY_COUNT, dwCount);
}

FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lpdwComPortNumber) {
  if (lpdwComPortNumber == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  DWORD returned = 0;
  const FT_STATUS status =
      FT_IoCtl(ftHandle, PrimaryCode(SLOT_GET_COM_PORT_NUMBER), nullptr, 0, lpdwComPortNumber,
               sizeof *lpdwComPortNumber, &returned, nullptr);
  // The driver reports 0 for a device without a COM port; callers test for -1. Done whatever the
  // status, so a caller that did not check it still does not take 0 for a port.
  if (*lpdwComPortNumber == 0) {
    *lpdwComPortNumber = -1;
  }
  return status;
}

FT_STATUS FT_CALL FT_ComPortIdle(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_COM_PORT_IDLE, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_ComPortCancelIdle(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_COM_PORT_CANCEL_IDLE, nullptr, 0, nullptr, 0);
}

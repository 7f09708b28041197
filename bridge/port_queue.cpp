// Buffer purges and the queue and status queries.
#include "bridge/port_request.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
  return SendPortWord(ftHandle, SLOT_PURGE, Mask);
}

FT_STATUS FT_CALL FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes,
                               DWORD* dwEventDWord) {
  // All three are required: the reply fills each of them.
  if (dwRxBytes == nullptr || dwTxBytes == nullptr || dwEventDWord == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  uint8_t buffer[12] = {};
  const FT_STATUS status =
      SendPortRequest(ftHandle, SLOT_GET_STATUS, buffer, sizeof buffer, buffer, sizeof buffer);
  if (status == FT_OK) {
    *dwRxBytes = GetLe32(buffer);
    *dwTxBytes = GetLe32(buffer + 4);
    *dwEventDWord = GetLe32(buffer + 8);
  }
  return status;
}

FT_STATUS FT_CALL FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
  return QueryWord(ftHandle, SLOT_GET_QUEUE_STATUS, dwRxBytes);
}

FT_STATUS FT_CALL FT_GetQueueStatusEx(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
  return QueryWord(ftHandle, SLOT_GET_QUEUE_STATUS_EX, dwRxBytes);
}

// Buffer purges and the queue and status queries.
#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

namespace {

// The queue queries send the caller's word and take the reply in its place.
FT_STATUS GetQueueWord(FT_HANDLE handle, uint32_t slot, DWORD* word) {
  if (word == nullptr) return FT_INVALID_PARAMETER;
  std::array<uint8_t, 4> bytes = Le32(*word);
  const RequestOutcome outcome = SendRequest(LookupHandle(handle), slot, bytes, bytes);
  if (outcome == REQUEST_ACCEPTED) *word = GetLe32(bytes.data());
  return FtStatusOf(outcome);
}

}  // namespace

FT_STATUS FT_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_PURGE, Le32(Mask), {}));
}

FT_STATUS FT_CALL FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes,
                               DWORD* dwEventDWord) {
  // All three are required: the reply fills each of them.
  if (dwRxBytes == nullptr || dwTxBytes == nullptr || dwEventDWord == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  uint8_t buffer[12] = {};
  const RequestOutcome outcome =
      SendRequest(LookupHandle(ftHandle), SLOT_GET_STATUS, buffer, buffer);
  if (outcome == REQUEST_ACCEPTED) {
    *dwRxBytes = GetLe32(buffer);
    *dwTxBytes = GetLe32(buffer + 4);
    *dwEventDWord = GetLe32(buffer + 8);
  }
  return FtStatusOf(outcome);
}

FT_STATUS FT_CALL FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
  return GetQueueWord(ftHandle, SLOT_GET_QUEUE_STATUS, dwRxBytes);
}

FT_STATUS FT_CALL FT_GetQueueStatusEx(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
  return GetQueueWord(ftHandle, SLOT_GET_QUEUE_STATUS_EX, dwRxBytes);
}

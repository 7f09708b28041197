// The request path, and FT_IoCtl: the same path opened to outside callers.
#include "bridge/request_path.h"

namespace ralvex::bridge {

RequestOutcome SendRequest(const FtHandleRecord* record, uint32_t slot,
                           std::span<const uint8_t> input, std::span<uint8_t> output,
                           DWORD* returned, OVERLAPPED* overlapped) {
  if (record == nullptr) return REQUEST_UNKNOWN_HANDLE;
  if (!IsRequestSlot(slot)) return REQUEST_BAD_ARGUMENT;
  // The system insists on a count for a synchronous request; a caller without use for it gets a
  // local one.
  DWORD localReturned = 0;
  const BOOL accepted = DeviceIoControl(
      record->deviceHandle, record->requestTable[slot], const_cast<uint8_t*>(input.data()),
      static_cast<DWORD>(input.size()), output.data(), static_cast<DWORD>(output.size()),
      returned != nullptr ? returned : &localReturned, overlapped);
  return accepted ? REQUEST_ACCEPTED : REQUEST_REFUSED;
}

FT_STATUS FtStatusOf(RequestOutcome outcome) {
  switch (outcome) {
    case REQUEST_ACCEPTED:
      return FT_OK;
    case REQUEST_REFUSED:
      return FT_IO_ERROR;
    case REQUEST_UNKNOWN_HANDLE:
      return FT_INVALID_HANDLE;
    case REQUEST_BAD_ARGUMENT:
      return FT_INVALID_PARAMETER;
  }
  return FT_IO_ERROR;
}

BOOL W32BoolOf(RequestOutcome outcome) {
  switch (outcome) {
    case REQUEST_ACCEPTED:
      return TRUE;
    case REQUEST_REFUSED:
      return FALSE;
    case REQUEST_UNKNOWN_HANDLE:
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    case REQUEST_BAD_ARGUMENT:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  return FALSE;
}

}  // namespace ralvex::bridge

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_IoCtl(FT_HANDLE ftHandle, DWORD dwIoControlCode, LPVOID lpInBuf,
                           DWORD nInBufSize, LPVOID lpOutBuf, DWORD nOutBufSize,
                           LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  const uint32_t slot = SlotOfCode(dwIoControlCode);
  if (!IsRequestSlot(slot)) return FT_INVALID_PARAMETER;
  // A length without a buffer is what the system's probe of the caller's buffers refuses before
  // any driver sees it; refused here the same way, before it could become a view of nothing.
  if ((lpInBuf == nullptr && nInBufSize != 0) || (lpOutBuf == nullptr && nOutBufSize != 0)) {
    return FT_IO_ERROR;
  }
  return FtStatusOf(SendRequest(record, slot, {static_cast<const uint8_t*>(lpInBuf), nInBufSize},
                                {static_cast<uint8_t*>(lpOutBuf), nOutBufSize}, lpBytesReturned,
                                lpOverlapped));
}

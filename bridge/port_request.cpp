#include "bridge/port_request.h"

namespace ralvex::bridge {

FT_STATUS SendPortRequest(FT_HANDLE handle, uint32_t slot, const void* in, DWORD in_length,
                          void* out, DWORD out_length) {
  const FtHandleRecord* record = LookupHandle(handle);
  if (record == nullptr) {
    return FT_INVALID_HANDLE;
  }
  return IssueRequest(record, slot, in, in_length, out, out_length);
}

FT_STATUS SendPortWord(FT_HANDLE handle, uint32_t slot, uint32_t value) {
  uint8_t payload[4];
  PutLe32(payload, value);
  return SendPortRequest(handle, slot, payload, sizeof payload, nullptr, 0);
}

FtHandleRecord* LookupW32Handle(FT_HANDLE handle) {
  FtHandleRecord* record = LookupHandle(handle);
  if (record == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  return record;
}

BOOL SendW32Request(FT_HANDLE handle, uint32_t slot, const void* in, DWORD in_length, void* out,
                    DWORD out_length) {
  const FtHandleRecord* record = LookupW32Handle(handle);
  if (record == nullptr) {
    return FALSE;
  }
  return SendRequest(record, slot, in, in_length, out, out_length);
}

FT_STATUS QueryWord(FT_HANDLE handle, uint32_t slot, DWORD* word) {
  if (word == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  DWORD copy = *word;
  DWORD returned = 0;
  const FT_STATUS status = FT_IoCtl(handle, PrimaryCode(slot), &copy, sizeof copy, &copy,
                                    sizeof copy, &returned, nullptr);
  if (status == FT_OK) {
    *word = copy;
  }
  return status;
}

BOOL RefuseW32Argument() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace ralvex::bridge

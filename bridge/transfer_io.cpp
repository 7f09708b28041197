// Data transfer: plain ReadFile and WriteFile on the handle's file, so the system's synchronous or
// overlapped I/O model applies unchanged. Buffers, counters and OVERLAPPED records stay the
// caller's for the whole life of a request.
#include "bridge/request_path.h"

using namespace ralvex::bridge;

namespace {

// FT_Read and FT_Write: a failure after some bytes moved still reports FT_OK, so the caller sees
// the partial count instead of losing it.
FT_STATUS MapTransfer(BOOL ok, DWORD moved) {
  return ok || moved != 0 ? FT_OK : FT_IO_ERROR;
}

// A null buffer is only fine for an empty transfer. A synchronous transfer needs the counter;
// an overlapped one reports its count through FT_W32_GetOverlappedResult.
bool TransferArgumentsValid(const void* buffer, DWORD length, const DWORD* counter,
                            const OVERLAPPED* overlapped) {
  return (buffer != nullptr || length == 0) && (counter != nullptr || overlapped != nullptr);
}

}  // namespace

FT_STATUS FT_CALL FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                          LPDWORD lpBytesReturned) {
  if (!TransferArgumentsValid(lpBuffer, dwBytesToRead, lpBytesReturned, nullptr)) {
    return FT_INVALID_PARAMETER;
  }
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) {
    return FT_INVALID_HANDLE;
  }
  *lpBytesReturned = 0;
  const BOOL ok = ReadFile(record->deviceHandle, lpBuffer, dwBytesToRead, lpBytesReturned, nullptr);
  return MapTransfer(ok, *lpBytesReturned);
}

FT_STATUS FT_CALL FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                           LPDWORD lpBytesWritten) {
  if (!TransferArgumentsValid(lpBuffer, dwBytesToWrite, lpBytesWritten, nullptr)) {
    return FT_INVALID_PARAMETER;
  }
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) {
    return FT_INVALID_HANDLE;
  }
  *lpBytesWritten = 0;
  const BOOL ok =
      WriteFile(record->deviceHandle, lpBuffer, dwBytesToWrite, lpBytesWritten, nullptr);
  return MapTransfer(ok, *lpBytesWritten);
}

BOOL FT_CALL FT_W32_ReadFile(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD nBufferSize,
                             LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (!TransferArgumentsValid(lpBuffer, nBufferSize, lpBytesReturned, lpOverlapped)) {
    return W32BoolOf(REQUEST_BAD_ARGUMENT);
  }
  // The platform writes the counter only while the call runs, so a local stands in for an
  // omitted one.
  DWORD unused = 0;
  DWORD* counter = lpBytesReturned != nullptr ? lpBytesReturned : &unused;
  *counter = 0;
  return ReadFile(record->deviceHandle, lpBuffer, nBufferSize, counter, lpOverlapped);
}

BOOL FT_CALL FT_W32_WriteFile(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD nBufferSize,
                              LPDWORD lpBytesWritten, LPOVERLAPPED lpOverlapped) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (!TransferArgumentsValid(lpBuffer, nBufferSize, lpBytesWritten, lpOverlapped)) {
    return W32BoolOf(REQUEST_BAD_ARGUMENT);
  }
  DWORD unused = 0;
  DWORD* counter = lpBytesWritten != nullptr ? lpBytesWritten : &unused;
  *counter = 0;
  return WriteFile(record->deviceHandle, lpBuffer, nBufferSize, counter, lpOverlapped);
}

BOOL FT_CALL FT_W32_GetOverlappedResult(FT_HANDLE ftHandle, LPOVERLAPPED lpOverlapped,
                                        LPDWORD lpdwBytesTransferred, BOOL bWait) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (lpOverlapped == nullptr || lpdwBytesTransferred == nullptr) {
    return W32BoolOf(REQUEST_BAD_ARGUMENT);
  }
  return GetOverlappedResult(record->deviceHandle, lpOverlapped, lpdwBytesTransferred, bWait);
}

BOOL FT_CALL FT_W32_CancelIo(FT_HANDLE ftHandle) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  return CancelIo(record->deviceHandle);
}

DWORD FT_CALL FT_W32_GetLastError(FT_HANDLE ftHandle) {
  (void)ftHandle;
  return GetLastError();
}

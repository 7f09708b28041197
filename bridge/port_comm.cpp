// The Win32-style comm functions: the serial-port API of Win32 over the same driver requests.
// They return the driver's BOOL and leave the reason for a failure in the thread's last error.
// Every one of them looks its handle up first (ERROR_INVALID_HANDLE) and refuses a null
// required pointer (ERROR_INVALID_PARAMETER) before anything is sent.
#include <cstring>

#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

namespace {

// The driver's layouts of DCB and COMMTIMEOUTS, byte for byte.
constexpr DWORD COMM_DCB_BYTES = 28;
constexpr DWORD COMM_TIMEOUTS_BYTES = 20;
constexpr DWORD COMM_ERROR_BYTES = 16;  // error word, then a COMSTAT
static_assert(sizeof(DCB) == COMM_DCB_BYTES);
static_assert(sizeof(COMMTIMEOUTS) == COMM_TIMEOUTS_BYTES);
static_assert(sizeof(COMSTAT) == COMM_ERROR_BYTES - 4);

// A 32-bit reply into the caller's word, written only when the driver answers.
BOOL GetCommWord(FT_HANDLE handle, uint32_t slot, DWORD* word) {
  const FtHandleRecord* record = LookupHandle(handle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (word == nullptr) return W32BoolOf(REQUEST_BAD_ARGUMENT);
  uint8_t reply[4] = {};
  const RequestOutcome outcome = SendRequest(record, slot, {}, reply);
  if (outcome == REQUEST_ACCEPTED) *word = GetLe32(reply);
  return W32BoolOf(outcome);
}

// A request without payload, or with one 32-bit word.
BOOL SetComm(FT_HANDLE handle, uint32_t slot) {
  return W32BoolOf(SendRequest(LookupHandle(handle), slot, {}, {}));
}
BOOL SetCommWord(FT_HANDLE handle, uint32_t slot, DWORD value) {
  return W32BoolOf(SendRequest(LookupHandle(handle), slot, Le32(value), {}));
}

}  // namespace

BOOL FT_CALL FT_W32_SetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (lpftDcb == nullptr) return W32BoolOf(REQUEST_BAD_ARGUMENT);
  return W32BoolOf(SendRequest(record, SLOT_SET_COMM_STATE, BytesOf(*lpftDcb), {}));
}

BOOL FT_CALL FT_W32_GetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (lpftDcb == nullptr) return W32BoolOf(REQUEST_BAD_ARGUMENT);
  // The reply buffer starts as the caller's DCB, so fields the driver leaves alone come back as
  // they were; a refused reply does not reach the caller.
  DCB reply = *lpftDcb;
  const RequestOutcome outcome = SendRequest(record, SLOT_GET_COMM_STATE, {}, BytesOf(reply));
  if (outcome == REQUEST_ACCEPTED) *lpftDcb = reply;
  return W32BoolOf(outcome);
}

BOOL FT_CALL FT_W32_SetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (pTimeouts == nullptr) return W32BoolOf(REQUEST_BAD_ARGUMENT);
  // The long form of the time-out request: the length tells the driver which form it is.
  return W32BoolOf(SendRequest(record, SLOT_SET_TIMEOUTS, BytesOf(*pTimeouts), {}));
}

BOOL FT_CALL FT_W32_GetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (pTimeouts == nullptr) return W32BoolOf(REQUEST_BAD_ARGUMENT);
  COMMTIMEOUTS reply{};
  const RequestOutcome outcome = SendRequest(record, SLOT_GET_COMM_TIMEOUTS, {}, BytesOf(reply));
  if (outcome == REQUEST_ACCEPTED) *pTimeouts = reply;
  return W32BoolOf(outcome);
}

BOOL FT_CALL FT_W32_SetCommMask(FT_HANDLE ftHandle, ULONG ulEventMask) {
  return SetCommWord(ftHandle, SLOT_SET_COMM_MASK, ulEventMask);
}

BOOL FT_CALL FT_W32_GetCommMask(FT_HANDLE ftHandle, LPDWORD lpdwEventMask) {
  return GetCommWord(ftHandle, SLOT_GET_COMM_MASK, lpdwEventMask);
}

BOOL FT_CALL FT_W32_WaitCommEvent(FT_HANDLE ftHandle, PULONG pulEvent, LPOVERLAPPED lpOverlapped) {
  if (lpOverlapped == nullptr) return GetCommWord(ftHandle, SLOT_WAIT_COMM_EVENT, pulEvent);
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  if (pulEvent == nullptr) return W32BoolOf(REQUEST_BAD_ARGUMENT);
  // Overlapped: the request may complete after this call returns, so the driver writes straight
  // into the caller's word, which the caller keeps alive with its OVERLAPPED.
  return W32BoolOf(
      SendRequest(record, SLOT_WAIT_COMM_EVENT, {}, BytesOf(*pulEvent), nullptr, lpOverlapped));
}

BOOL FT_CALL FT_W32_GetCommModemStatus(FT_HANDLE ftHandle, LPDWORD lpdwModemStatus) {
  return GetCommWord(ftHandle, SLOT_GET_MODEM_STATUS, lpdwModemStatus);
}

BOOL FT_CALL FT_W32_ClearCommError(FT_HANDLE ftHandle, LPDWORD lpdwErrors, LPCOMSTAT lpftComstat) {
  // Both outputs may be omitted, as with the Win32 call: the request still clears the errors.
  uint8_t buffer[COMM_ERROR_BYTES] = {};
  const RequestOutcome outcome =
      SendRequest(LookupHandle(ftHandle), SLOT_CLEAR_COMM_ERROR, buffer, buffer);
  if (outcome == REQUEST_ACCEPTED) {
    if (lpdwErrors != nullptr) *lpdwErrors = GetLe32(buffer);
    if (lpftComstat != nullptr) std::memcpy(lpftComstat, buffer + 4, sizeof(COMSTAT));
  }
  return W32BoolOf(outcome);
}

BOOL FT_CALL FT_W32_PurgeComm(FT_HANDLE ftHandle, DWORD dwMask) {
  // Aborting and clearing are one request for the driver: either empties that direction.
  DWORD mask = 0;
  if ((dwMask & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0) mask |= FT_PURGE_RX;
  if ((dwMask & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0) mask |= FT_PURGE_TX;
  return SetCommWord(ftHandle, SLOT_PURGE, mask);
}

BOOL FT_CALL FT_W32_SetCommBreak(FT_HANDLE ftHandle) {
  return SetComm(ftHandle, SLOT_SET_BREAK_ON);
}

BOOL FT_CALL FT_W32_ClearCommBreak(FT_HANDLE ftHandle) {
  return SetComm(ftHandle, SLOT_SET_BREAK_OFF);
}

BOOL FT_CALL FT_W32_EscapeCommFunction(FT_HANDLE ftHandle, DWORD dwFunc) {
  switch (dwFunc) {
    case SETRTS:
      return SetComm(ftHandle, SLOT_SET_RTS);
    case CLRRTS:
      return SetComm(ftHandle, SLOT_CLR_RTS);
    case SETDTR:
      return SetComm(ftHandle, SLOT_SET_DTR);
    case CLRDTR:
      return SetComm(ftHandle, SLOT_CLR_DTR);
    case SETBREAK:
      return SetComm(ftHandle, SLOT_SET_BREAK_ON);
    case CLRBREAK:
      return SetComm(ftHandle, SLOT_SET_BREAK_OFF);
    default:
      // XON/XOFF and device reset have no request of their own: accepted, nothing sent.
      return LookupHandle(ftHandle) != nullptr ? TRUE : W32BoolOf(REQUEST_UNKNOWN_HANDLE);
  }
}

BOOL FT_CALL FT_W32_SetupComm(FT_HANDLE ftHandle, DWORD dwReadBufferSize, DWORD dwWriteBufferSize) {
  // The driver sizes its own queues; the sizes are accepted and not sent.
  (void)dwReadBufferSize;
  (void)dwWriteBufferSize;
  return LookupHandle(ftHandle) != nullptr ? TRUE : W32BoolOf(REQUEST_UNKNOWN_HANDLE);
}

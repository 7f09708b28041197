// The Win32-style comm functions: the serial-port API of Win32 over the same driver requests.
// They return the driver's BOOL and leave the reason for a failure in the thread's last error.
// Every one of them looks its handle up first (ERROR_INVALID_HANDLE) and refuses a null
// required pointer (ERROR_INVALID_PARAMETER) before anything is sent.
#include <cstring>

#include "bridge/port_request.h"

using namespace ralvex::bridge;

namespace {

// The driver's layouts of DCB and COMMTIMEOUTS, byte for byte.
constexpr DWORD DCB_BYTES = 28;
constexpr DWORD COMMTIMEOUTS_BYTES = 20;
constexpr DWORD COMM_ERROR_BYTES = 16;  // error word, then a COMSTAT
static_assert(sizeof(DCB) == DCB_BYTES);
static_assert(sizeof(COMMTIMEOUTS) == COMMTIMEOUTS_BYTES);
static_assert(sizeof(COMSTAT) == COMM_ERROR_BYTES - 4);

// A 32-bit reply into the caller's word, written only when the driver answers.
BOOL QueryW32Word(FT_HANDLE handle, uint32_t slot, DWORD* word) {
  const FtHandleRecord* record = LookupW32Handle(handle);
  if (record == nullptr) {
    return FALSE;
  }
  if (word == nullptr) {
    return RefuseW32Argument();
  }
  uint8_t reply[4] = {};
  if (!SendRequest(record, slot, nullptr, 0, reply, sizeof reply)) {
    return FALSE;
  }
  *word = GetLe32(reply);
  return TRUE;
}

BOOL SendW32Word(FT_HANDLE handle, uint32_t slot, DWORD value) {
  uint8_t payload[4];
  PutLe32(payload, value);
  return SendW32Request(handle, slot, payload, sizeof payload, nullptr, 0);
}

}  // namespace

BOOL FT_CALL FT_W32_SetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb) {
  const FtHandleRecord* record = LookupW32Handle(ftHandle);
  if (record == nullptr) {
    return FALSE;
  }
  if (lpftDcb == nullptr) {
    return RefuseW32Argument();
  }
  uint8_t payload[DCB_BYTES];
  std::memcpy(payload, lpftDcb, DCB_BYTES);
  return SendRequest(record, SLOT_SET_COMM_STATE, payload, DCB_BYTES, nullptr, 0);
}

BOOL FT_CALL FT_W32_GetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb) {
  const FtHandleRecord* record = LookupW32Handle(ftHandle);
  if (record == nullptr) {
    return FALSE;
  }
  if (lpftDcb == nullptr) {
    return RefuseW32Argument();
  }
  // The reply buffer starts as the caller's DCB, so fields the driver leaves alone come back as
  // they were.
  uint8_t reply[DCB_BYTES];
  std::memcpy(reply, lpftDcb, DCB_BYTES);
  if (!SendRequest(record, SLOT_GET_COMM_STATE, nullptr, 0, reply, DCB_BYTES)) {
    return FALSE;
  }
  std::memcpy(lpftDcb, reply, DCB_BYTES);
  return TRUE;
}

BOOL FT_CALL FT_W32_SetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts) {
  const FtHandleRecord* record = LookupW32Handle(ftHandle);
  if (record == nullptr) {
    return FALSE;
  }
  if (pTimeouts == nullptr) {
    return RefuseW32Argument();
  }
  // The long form of the time-out request: the length tells the driver which form it is.
  uint8_t payload[COMMTIMEOUTS_BYTES];
  std::memcpy(payload, pTimeouts, COMMTIMEOUTS_BYTES);
  return SendRequest(record, SLOT_SET_TIMEOUTS, payload, COMMTIMEOUTS_BYTES, nullptr, 0);
}

BOOL FT_CALL FT_W32_GetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts) {
  const FtHandleRecord* record = LookupW32Handle(ftHandle);
  if (record == nullptr) {
    return FALSE;
  }
  if (pTimeouts == nullptr) {
    return RefuseW32Argument();
  }
  uint8_t reply[COMMTIMEOUTS_BYTES] = {};
  if (!SendRequest(record, SLOT_GET_COMM_TIMEOUTS, nullptr, 0, reply, COMMTIMEOUTS_BYTES)) {
    return FALSE;
  }
  std::memcpy(pTimeouts, reply, COMMTIMEOUTS_BYTES);
  return TRUE;
}

BOOL FT_CALL FT_W32_SetCommMask(FT_HANDLE ftHandle, ULONG ulEventMask) {
  return SendW32Word(ftHandle, SLOT_SET_COMM_MASK, ulEventMask);
}

BOOL FT_CALL FT_W32_GetCommMask(FT_HANDLE ftHandle, LPDWORD lpdwEventMask) {
  return QueryW32Word(ftHandle, SLOT_GET_COMM_MASK, lpdwEventMask);
}

BOOL FT_CALL FT_W32_WaitCommEvent(FT_HANDLE ftHandle, PULONG pulEvent, LPOVERLAPPED lpOverlapped) {
  if (lpOverlapped == nullptr) {
    return QueryW32Word(ftHandle, SLOT_WAIT_COMM_EVENT, pulEvent);
  }
  const FtHandleRecord* record = LookupW32Handle(ftHandle);
  if (record == nullptr) {
    return FALSE;
  }
  if (pulEvent == nullptr) {
    return RefuseW32Argument();
  }
  // Overlapped: the request may complete after this call returns, so the driver writes straight
  // into the caller's word, which the caller keeps alive with its OVERLAPPED.
  return SendRequest(record, SLOT_WAIT_COMM_EVENT, nullptr, 0, pulEvent, sizeof *pulEvent, nullptr,
                     lpOverlapped);
}

BOOL FT_CALL FT_W32_GetCommModemStatus(FT_HANDLE ftHandle, LPDWORD lpdwModemStatus) {
  return QueryW32Word(ftHandle, SLOT_GET_MODEM_STATUS, lpdwModemStatus);
}

BOOL FT_CALL FT_W32_ClearCommError(FT_HANDLE ftHandle, LPDWORD lpdwErrors, LPCOMSTAT lpftComstat) {
  // Both outputs may be omitted, as with the Win32 call: the request still clears the errors.
  uint8_t buffer[COMM_ERROR_BYTES] = {};
  if (!SendW32Request(ftHandle, SLOT_CLEAR_COMM_ERROR, buffer, sizeof buffer, buffer,
                      sizeof buffer)) {
    return FALSE;
  }
  if (lpdwErrors != nullptr) {
    *lpdwErrors = GetLe32(buffer);
  }
  if (lpftComstat != nullptr) {
    std::memcpy(lpftComstat, buffer + 4, sizeof(COMSTAT));
  }
  return TRUE;
}

BOOL FT_CALL FT_W32_PurgeComm(FT_HANDLE ftHandle, DWORD dwMask) {
  // Aborting and clearing are one request for the driver: either empties that direction.
  DWORD mask = 0;
  if ((dwMask & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0) {
    mask |= FT_PURGE_RX;
  }
  if ((dwMask & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0) {
    mask |= FT_PURGE_TX;
  }
  return SendW32Word(ftHandle, SLOT_PURGE, mask);
}

BOOL FT_CALL FT_W32_SetCommBreak(FT_HANDLE ftHandle) {
  return SendW32Request(ftHandle, SLOT_SET_BREAK_ON, nullptr, 0, nullptr, 0);
}

BOOL FT_CALL FT_W32_ClearCommBreak(FT_HANDLE ftHandle) {
  return SendW32Request(ftHandle, SLOT_SET_BREAK_OFF, nullptr, 0, nullptr, 0);
}

BOOL FT_CALL FT_W32_EscapeCommFunction(FT_HANDLE ftHandle, DWORD dwFunc) {
  uint32_t slot = 0;
  switch (dwFunc) {
    case SETRTS:
      slot = SLOT_SET_RTS;
      break;
    case CLRRTS:
      slot = SLOT_CLR_RTS;
      break;
    case SETDTR:
      slot = SLOT_SET_DTR;
      break;
    case CLRDTR:
      slot = SLOT_CLR_DTR;
      break;
    case SETBREAK:
      slot = SLOT_SET_BREAK_ON;
      break;
    case CLRBREAK:
      slot = SLOT_SET_BREAK_OFF;
      break;
    default:
      // XON/XOFF and device reset have no request of their own: accepted, nothing sent.
      return LookupW32Handle(ftHandle) != nullptr ? TRUE : FALSE;
  }
  return SendW32Request(ftHandle, slot, nullptr, 0, nullptr, 0);
}

BOOL FT_CALL FT_W32_SetupComm(FT_HANDLE ftHandle, DWORD dwReadBufferSize, DWORD dwWriteBufferSize) {
  // The driver sizes its own queues; the sizes are accepted and not sent.
  (void)dwReadBufferSize;
  (void)dwWriteBufferSize;
  return LookupW32Handle(ftHandle) != nullptr ? TRUE : FALSE;
}

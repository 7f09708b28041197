// Modem-control lines, break and modem status.
#include "bridge/port_request.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_SetDtr(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_SET_DTR, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_ClrDtr(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_CLR_DTR, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetRts(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_SET_RTS, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_ClrRts(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_CLR_RTS, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetBreakOn(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_SET_BREAK_ON, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetBreakOff(FT_HANDLE ftHandle) {
  return SendPortRequest(ftHandle, SLOT_SET_BREAK_OFF, nullptr, 0, nullptr, 0);
}

FT_STATUS FT_CALL FT_GetModemStatus(FT_HANDLE ftHandle, ULONG* pModemStatus) {
  return QueryWord(ftHandle, SLOT_GET_MODEM_STATUS, pModemStatus);
}

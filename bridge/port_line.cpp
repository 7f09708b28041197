// Line settings: baud rate, divisor, data format, flow control, event and error characters,
// time-outs. The layer packs the caller's values as they are; the driver judges them.
#include "bridge/port_request.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate) {
  const FT_STATUS status = SendPortWord(ftHandle, SLOT_SET_BAUD_RATE, BaudRate);
  // The driver refuses only rates it cannot produce, so a refusal means a bad rate.
  return status == FT_IO_ERROR ? FT_INVALID_BAUD_RATE : status;
}

FT_STATUS FT_CALL FT_SetDivisor(FT_HANDLE ftHandle, USHORT Divisor) {
  uint8_t payload[2];
  PutLe16(payload, Divisor);
  return SendPortRequest(ftHandle, SLOT_SET_DIVISOR, payload, sizeof payload, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits,
                                            UCHAR Parity) {
  // The driver's order, not the argument order.
  const uint8_t payload[3] = {StopBits, Parity, WordLength};
  return SendPortRequest(ftHandle, SLOT_SET_DATA_CHARACTERISTICS, payload, sizeof payload, nullptr,
                         0);
}

FT_STATUS FT_CALL FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar,
                                    UCHAR XoffChar) {
  uint8_t payload[4];
  PutLe16(payload, FlowControl);
  payload[2] = XonChar;
  payload[3] = XoffChar;
  return SendPortRequest(ftHandle, SLOT_SET_FLOW_CONTROL, payload, sizeof payload, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetChars(FT_HANDLE ftHandle, UCHAR EventChar, UCHAR EventCharEnabled,
                              UCHAR ErrorChar, UCHAR ErrorCharEnabled) {
  const uint8_t payload[4] = {EventChar, EventCharEnabled, ErrorChar, ErrorCharEnabled};
  return SendPortRequest(ftHandle, SLOT_SET_CHARS, payload, sizeof payload, nullptr, 0);
}

FT_STATUS FT_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout) {
  // The short form of the time-out request; its 20-byte form carries a COMMTIMEOUTS.
  uint8_t payload[8];
  PutLe32(payload, ReadTimeout);
  PutLe32(payload + 4, WriteTimeout);
  return SendPortRequest(ftHandle, SLOT_SET_TIMEOUTS, payload, sizeof payload, nullptr, 0);
}

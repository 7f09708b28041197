// Line settings: baud rate, divisor, data format, flow control, event and error characters,
// time-outs. The layer packs the caller's values as they are; the driver judges them.
#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate) {
  const RequestOutcome outcome =
      SendRequest(LookupHandle(ftHandle), SLOT_SET_BAUD_RATE, Le32(BaudRate), {});
  // The driver refuses only rates it cannot produce, so a refusal means a bad rate.
  return outcome == REQUEST_REFUSED ? FT_INVALID_BAUD_RATE : FtStatusOf(outcome);
}

FT_STATUS FT_CALL FT_SetDivisor(FT_HANDLE ftHandle, USHORT Divisor) {
  uint8_t payload[2];
  PutLe16(payload, Divisor);
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_DIVISOR, payload, {}));
}

FT_STATUS FT_CALL FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits,
                                            UCHAR Parity) {
  // The driver's order, not the argument order.
  const uint8_t payload[3] = {StopBits, Parity, WordLength};
  return FtStatusOf(
      SendRequest(LookupHandle(ftHandle), SLOT_SET_DATA_CHARACTERISTICS, payload, {}));
}

FT_STATUS FT_CALL FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar,
                                    UCHAR XoffChar) {
  uint8_t payload[4];
  PutLe16(payload, FlowControl);
  payload[2] = XonChar;
  payload[3] = XoffChar;
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_FLOW_CONTROL, payload, {}));
}

FT_STATUS FT_CALL FT_SetChars(FT_HANDLE ftHandle, UCHAR EventChar, UCHAR EventCharEnabled,
                              UCHAR ErrorChar, UCHAR ErrorCharEnabled) {
  const uint8_t payload[4] = {EventChar, EventCharEnabled, ErrorChar, ErrorCharEnabled};
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_CHARS, payload, {}));
}

FT_STATUS FT_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout) {
  // The short form of the time-out request; its 20-byte form carries a COMMTIMEOUTS.
  uint8_t payload[8];
  PutLe32(payload, ReadTimeout);
  PutLe32(payload + 4, WriteTimeout);
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_SET_TIMEOUTS, payload, {}));
}

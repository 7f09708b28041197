// Vendor requests. The short form addresses a request code, the long form a 16-bit value; both
// carry at most VENDOR_DATA_BYTES of data after a fixed header.
#include <cstring>

#include "bridge/payload.h"
#include "bridge/request_path.h"

using namespace ralvex::bridge;

namespace {

constexpr uint16_t VENDOR_DATA_BYTES = 128;
constexpr size_t VENDOR_SHORT_HEADER = 4;  // request, 0, length (16-bit)
constexpr size_t VENDOR_LONG_HEADER = 6;   // value (16-bit), 0, unused, length (16-bit)

// The data area is 128 bytes: a longer request would overrun it (or the caller's buffer on the
// way back), so it is refused before anything is sent. A null buffer is only fine with no data.
bool VendorArgumentsValid(const UCHAR* buffer, USHORT length) {
  return length <= VENDOR_DATA_BYTES && (buffer != nullptr || length == 0);
}

void FillShortHeader(uint8_t* request, UCHAR code, USHORT length) {
  request[0] = code;
  request[1] = 0;
  PutLe16(request + 2, length);
}

void FillLongHeader(uint8_t* request, USHORT value, USHORT length) {
  PutLe16(request, value);
  request[2] = 0;
  request[3] = 0;
  PutLe16(request + 4, length);
}

// Sends `request` as input (and, for the Get forms, receives into it) and copies the data area
// out on success.
FT_STATUS Exchange(FT_HANDLE handle, uint32_t slot, std::span<uint8_t> request, bool get,
                   size_t header, UCHAR* buffer, USHORT length) {
  const RequestOutcome outcome =
      SendRequest(LookupHandle(handle), slot, request, get ? request : std::span<uint8_t>());
  if (outcome == REQUEST_ACCEPTED && get && length > 0) {
    std::memcpy(buffer, request.data() + header, length);
  }
  return FtStatusOf(outcome);
}

}  // namespace

FT_STATUS FT_CALL FT_VendorCmdGet(FT_HANDLE ftHandle, UCHAR Request, UCHAR* Buf, USHORT Len) {
  if (!VendorArgumentsValid(Buf, Len)) {
    return FT_INVALID_PARAMETER;
  }
  uint8_t request[VENDOR_SHORT_HEADER + VENDOR_DATA_BYTES] = {};
  FillShortHeader(request, Request, Len);
  return Exchange(ftHandle, SLOT_VENDOR_CMD_GET, request, true, VENDOR_SHORT_HEADER, Buf, Len);
}

FT_STATUS FT_CALL FT_VendorCmdSet(FT_HANDLE ftHandle, UCHAR Request, UCHAR* Buf, USHORT Len) {
  if (!VendorArgumentsValid(Buf, Len)) {
    return FT_INVALID_PARAMETER;
  }
  uint8_t request[VENDOR_SHORT_HEADER + VENDOR_DATA_BYTES] = {};
  FillShortHeader(request, Request, Len);
  if (Len > 0) {
    std::memcpy(request + VENDOR_SHORT_HEADER, Buf, Len);
  }
  return Exchange(ftHandle, SLOT_VENDOR_CMD_SET, request, false, VENDOR_SHORT_HEADER, Buf, Len);
}

FT_STATUS FT_CALL FT_VendorCmdGetEx(FT_HANDLE ftHandle, USHORT wValue, UCHAR* Buf, USHORT Len) {
  if (!VendorArgumentsValid(Buf, Len)) {
    return FT_INVALID_PARAMETER;
  }
  uint8_t request[VENDOR_LONG_HEADER + VENDOR_DATA_BYTES] = {};
  FillLongHeader(request, wValue, Len);
  return Exchange(ftHandle, SLOT_VENDOR_CMD_GET_EX, request, true, VENDOR_LONG_HEADER, Buf, Len);
}

FT_STATUS FT_CALL FT_VendorCmdSetEx(FT_HANDLE ftHandle, USHORT wValue, UCHAR* Buf, USHORT Len) {
  if (!VendorArgumentsValid(Buf, Len)) {
    return FT_INVALID_PARAMETER;
  }
  uint8_t request[VENDOR_LONG_HEADER + VENDOR_DATA_BYTES] = {};
  FillLongHeader(request, wValue, Len);
  if (Len > 0) {
    std::memcpy(request + VENDOR_LONG_HEADER, Buf, Len);
  }
  return Exchange(ftHandle, SLOT_VENDOR_CMD_SET_EX, request, false, VENDOR_LONG_HEADER, Buf, Len);
}

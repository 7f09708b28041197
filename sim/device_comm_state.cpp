// The Win32 DCB of the comm-state requests, mapped onto the device's line settings and back.
#include <cstring>

#include "devside/little_endian.h"
#include "devside/payloads.h"
#include "sim/bridge_device.h"
#include "sim/device_line.h"

namespace ralvex::sim {
namespace {

using devside::FLOW_DTR_DSR;
using devside::FLOW_NONE;
using devside::FLOW_RTS_CTS;
using devside::FLOW_XON_XOFF;
using devside::Get16;
using devside::Get32;
using devside::Put16;
using devside::Put32;

constexpr uint32_t DCB_BINARY = 1u << 0;
constexpr uint32_t DCB_PARITY = 1u << 1;
constexpr uint32_t DCB_OUTX_CTS = 1u << 2;
constexpr uint32_t DCB_OUTX_DSR = 1u << 3;
constexpr uint32_t DCB_DTR_SHIFT = 4;
constexpr uint32_t DCB_OUTX = 1u << 8;
constexpr uint32_t DCB_INX = 1u << 9;
constexpr uint32_t DCB_ERROR_CHAR = 1u << 10;
constexpr uint32_t DCB_RTS_SHIFT = 12;
// fDsrSensitivity, fTXContinueOnXoff, fNull, fAbortOnError: kept as given.
constexpr uint32_t DCB_KEPT = (1u << 6) | (1u << 7) | (1u << 11) | (1u << 14);
constexpr uint32_t CONTROL_ENABLE = 1;
constexpr uint32_t CONTROL_HANDSHAKE = 2;

}  // namespace

uint32_t BridgeDevice::SetCommState(const uint8_t* dcb) {
  uint32_t baud = Get32(dcb + 4);
  uint32_t flags = Get32(dcb + 8);
  uint8_t byteSize = dcb[18], parity = dcb[19], stopBits = dcb[20];
  if (baud == 0 || baud > MaxBaud() || !ValidDataCharacteristics(byteSize, stopBits, parity)) {
    return ERROR_INVALID_PARAMETER;
  }
  uint32_t dtrControl = (flags >> DCB_DTR_SHIFT) & 3;
  uint32_t rtsControl = (flags >> DCB_RTS_SHIFT) & 3;
  uint16_t flow = FLOW_NONE;
  if ((flags & DCB_OUTX_CTS) || rtsControl == CONTROL_HANDSHAKE)
    flow = FLOW_RTS_CTS;
  else if ((flags & DCB_OUTX_DSR) || dtrControl == CONTROL_HANDSHAKE)
    flow = FLOW_DTR_DSR;
  else if (flags & (DCB_OUTX | DCB_INX))
    flow = FLOW_XON_XOFF;
  uint8_t latency;
  uint8_t eventChar;
  bool eventEnabled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line_.baudRate = baud;
    line_.wordLength = byteSize;
    line_.parity = parity;
    line_.stopBits = stopBits;
    line_.flowControl = flow;
    if (dtrControl != CONTROL_HANDSHAKE) line_.dtr = dtrControl == CONTROL_ENABLE;
    if (rtsControl != CONTROL_HANDSHAKE) line_.rts = rtsControl == CONTROL_ENABLE;
    xonLimit_ = Get16(dcb + 14);
    xoffLimit_ = Get16(dcb + 16);
    line_.xonChar = dcb[21];
    line_.xoffChar = dcb[22];
    line_.errorChar = dcb[23];
    line_.errorCharEnabled = (flags & DCB_ERROR_CHAR) ? 1 : 0;
    eofChar_ = dcb[24];
    line_.eventChar = dcb[25];
    dcbOtherFlags_ = flags & DCB_KEPT;
    latency = line_.latencyTimer;
    eventChar = line_.eventChar;
    eventEnabled = line_.eventCharEnabled != 0;
  }
  channel_.SetWireParameters(baud, latency);
  channel_.SetEventChar(eventChar, eventEnabled);
  return 0;
}

void BridgeDevice::GetCommState(uint8_t* dcb) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::memset(dcb, 0, DCB_BYTES);
  uint32_t flags = DCB_BINARY | dcbOtherFlags_;
  if (line_.parity != 0) flags |= DCB_PARITY;
  uint32_t dtrControl = line_.dtr ? CONTROL_ENABLE : 0;
  uint32_t rtsControl = line_.rts ? CONTROL_ENABLE : 0;
  if (line_.flowControl == FLOW_RTS_CTS) {
    flags |= DCB_OUTX_CTS;
    rtsControl = CONTROL_HANDSHAKE;
  } else if (line_.flowControl == FLOW_DTR_DSR) {
    flags |= DCB_OUTX_DSR;
    dtrControl = CONTROL_HANDSHAKE;
  } else if (line_.flowControl == FLOW_XON_XOFF) {
    flags |= DCB_OUTX | DCB_INX;
  }
  if (line_.errorCharEnabled) flags |= DCB_ERROR_CHAR;
  flags |= dtrControl << DCB_DTR_SHIFT;
  flags |= rtsControl << DCB_RTS_SHIFT;
  Put32(dcb, DCB_BYTES);
  Put32(dcb + 4, line_.baudRate);
  Put32(dcb + 8, flags);
  Put16(dcb + 14, xonLimit_);
  Put16(dcb + 16, xoffLimit_);
  dcb[18] = line_.wordLength;
  dcb[19] = line_.parity;
  dcb[20] = line_.stopBits;
  dcb[21] = line_.xonChar;
  dcb[22] = line_.xoffChar;
  dcb[23] = line_.errorChar;
  dcb[24] = eofChar_;
  dcb[25] = line_.eventChar;
}

}  // namespace ralvex::sim

// Line settings of an open tty through termios2 and the modem-control ioctls, with the bridge's
// codes on one side and the kernel's flags on the other. Each call returns a Win32 error code
// (0 on success) so that request handlers can pass it on.
#pragma once

#include <cstdint>

#include "devside/payloads.h"

namespace ralvex::hostdev {

// Binary, no echo, no line editing, no translation; receiver on, modem lines ignored for the
// carrier. The rate and the character format stay as they are.
uint32_t MakeTtyRaw(int fd);

// Any rate the driver accepts (arbitrary rates through the BOTHER form). 0 is refused.
uint32_t SetTtyBaudRate(int fd, uint32_t baud);

// Word length 5..8; stop bits 0 (one) or 2 (two), one and a half is refused; parity 0 none,
// 1 odd, 2 even, 3 mark, 4 space.
uint32_t SetTtyDataCharacteristics(int fd, uint8_t wordLength, uint8_t stopBits, uint8_t parity);

// Flow control modes of the bridge (devside/payloads.h): none, RTS/CTS, XON/XOFF with the given
// characters. DTR/DSR has no tty equivalent and is refused.
using devside::FLOW_DTR_DSR;
using devside::FLOW_NONE;
using devside::FLOW_RTS_CTS;
using devside::FLOW_XON_XOFF;
uint32_t SetTtyFlowControl(int fd, uint16_t mode, uint8_t xon, uint8_t xoff);

// Modem-control lines. *supported is false when the tty has none (a pseudo-terminal): the call
// then changes nothing and succeeds.
uint32_t SetTtyModemLine(int fd, bool dtr, bool on, bool* supported);
// The input lines as TIOCM_* bits; *supported false as above.
uint32_t GetTtyModemLines(int fd, int* bits, bool* supported);

uint32_t SetTtyBreak(int fd, bool on);
uint32_t PurgeTty(int fd, bool rx, bool tx);
// Bytes waiting to be read and bytes not yet sent.
uint32_t TtyQueueCounts(int fd, uint32_t* rx, uint32_t* tx);

}  // namespace ralvex::hostdev

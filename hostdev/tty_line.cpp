// termios2 lives in the kernel's own header, which cannot share a unit with <termios.h>: this
// file is the only one that speaks to the tty's line settings.
#include "hostdev/tty_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <cerrno>

#include "platform/win32.h"

namespace ralvex::hostdev {
namespace {

uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case EINVAL:
    case ERANGE:
      return ERROR_INVALID_PARAMETER;
    case EIO:
    case ENODEV:
    case ENXIO:
      return ERROR_DEVICE_NOT_CONNECTED;
    case ENOTTY:
      return ERROR_INVALID_FUNCTION;
    default:
      return ERROR_GEN_FAILURE;
  }
}

uint32_t Get(int fd, termios2* tio) {
  return ioctl(fd, TCGETS2, tio) == 0 ? 0 : ErrorFromErrno(errno);
}

uint32_t Put(int fd, const termios2& tio) {
  return ioctl(fd, TCSETS2, &tio) == 0 ? 0 : ErrorFromErrno(errno);
}

bool NoModemLines(int error) {
  return error == ENOTTY || error == EINVAL;
}

}  // namespace

uint32_t MakeTtyRaw(int fd) {
  termios2 tio{};
  if (uint32_t error = Get(fd, &tio)) return error;
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CREAD | CLOCAL;
  // With a non-blocking descriptor this makes an empty read fail with EAGAIN; 0 then only
  // means a hang-up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return Put(fd, tio);
}

uint32_t SetTtyBaudRate(int fd, uint32_t baud) {
  if (baud == 0) return ERROR_INVALID_PARAMETER;
  termios2 tio{};
  if (uint32_t error = Get(fd, &tio)) return error;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  return Put(fd, tio);
}

uint32_t SetTtyDataCharacteristics(int fd, uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
  static constexpr tcflag_t SIZES[] = {CS5, CS6, CS7, CS8};
  if (wordLength < 5 || wordLength > 8 || (stopBits != 0 && stopBits != 2) || parity > 4) {
    return ERROR_INVALID_PARAMETER;
  }
  termios2 tio{};
  if (uint32_t error = Get(fd, &tio)) return error;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
  tio.c_cflag |= SIZES[wordLength - 5];
  if (stopBits == 2) tio.c_cflag |= CSTOPB;
  switch (parity) {
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio.c_cflag |= PARENB;
      break;
    case 3:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  return Put(fd, tio);
}

uint32_t SetTtyFlowControl(int fd, uint16_t mode, uint8_t xon, uint8_t xoff) {
  if (mode != FLOW_NONE && mode != FLOW_RTS_CTS && mode != FLOW_XON_XOFF) {
    return ERROR_INVALID_PARAMETER;
  }
  termios2 tio{};
  if (uint32_t error = Get(fd, &tio)) return error;
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (mode == FLOW_RTS_CTS) tio.c_cflag |= CRTSCTS;
  if (mode == FLOW_XON_XOFF) {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = xon;
    tio.c_cc[VSTOP] = xoff;
  }
  return Put(fd, tio);
}

uint32_t SetTtyModemLine(int fd, bool dtr, bool on, bool* supported) {
  int bit = dtr ? TIOCM_DTR : TIOCM_RTS;
  *supported = true;
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return 0;
  if (NoModemLines(errno)) {
    *supported = false;
    return 0;
  }
  return ErrorFromErrno(errno);
}

uint32_t GetTtyModemLines(int fd, int* bits, bool* supported) {
  *supported = true;
  *bits = 0;
  if (ioctl(fd, TIOCMGET, bits) == 0) return 0;
  if (NoModemLines(errno)) {
    *supported = false;
    return 0;
  }
  return ErrorFromErrno(errno);
}

uint32_t SetTtyBreak(int fd, bool on) {
  if (ioctl(fd, on ? TIOCSBRK : TIOCCBRK) == 0 || NoModemLines(errno)) return 0;
  return ErrorFromErrno(errno);
}

uint32_t PurgeTty(int fd, bool rx, bool tx) {
  if (!rx && !tx) return 0;
  int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  return ioctl(fd, TCFLSH, which) == 0 ? 0 : ErrorFromErrno(errno);
}

uint32_t TtyQueueCounts(int fd, uint32_t* rx, uint32_t* tx) {
  int in = 0, out = 0;
  if (ioctl(fd, FIONREAD, &in) != 0) return ErrorFromErrno(errno);
  if (ioctl(fd, TIOCOUTQ, &out) != 0) out = 0;
  *rx = static_cast<uint32_t>(in < 0 ? 0 : in);
  *tx = static_cast<uint32_t>(out < 0 ? 0 : out);
  return 0;
}

}  // namespace ralvex::hostdev

#include "tests/hostdev/pty_termios.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace ralvex::hostdev_test {

uint32_t TtyOutputRate(int fd) {
  termios2 tio{};
  return ioctl(fd, TCGETS2, &tio) == 0 ? tio.c_ospeed : 0;
}

}  // namespace ralvex::hostdev_test

// The rate a tty's termios hold, read with TCGETS2 (its header cannot share a unit with
// <termios.h>, which the tests use for the flags).
#pragma once

#include <cstdint>

namespace ralvex::hostdev_test {

// The output rate of the tty behind `fd` (a pseudo-terminal's master answers for its other
// side); 0 when it cannot be read.
uint32_t TtyOutputRate(int fd);

}  // namespace ralvex::hostdev_test

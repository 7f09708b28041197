#include "tools/tester/tty_endpoint.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ralvex::tester_tool {
namespace {

bool MakeRaw(int fd, bool setSpeed) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (setSpeed && cfsetspeed(&tio, B115200) != 0) return false;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

bool OpenPseudoTerminal(Endpoint* endpoint, std::string* error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    *error = Reason("cannot open a pseudo-terminal");
    return false;
  }
  const char* name = nullptr;
  if (grantpt(master) != 0 || unlockpt(master) != 0 || (name = ptsname(master)) == nullptr) {
    *error = Reason("cannot set up the pseudo-terminal");
    close(master);
    return false;
  }
  const std::string path = name;
  const int side = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (side < 0 || !MakeRaw(side, false)) {
    *error = Reason("cannot open " + path);
    if (side >= 0) close(side);
    close(master);
    return false;
  }
  endpoint->fd = master;
  endpoint->holdFd = side;
  endpoint->hostPath = path;
  return true;
}

bool OpenTty(const std::string& path, Endpoint* endpoint, std::string* error) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = Reason("cannot open " + path);
    return false;
  }
  if (!MakeRaw(fd, true)) {
    *error = Reason(path + " is not a usable tty");
    close(fd);
    return false;
  }
  endpoint->fd = fd;
  endpoint->hostPath = path;
  return true;
}

void CloseEndpoint(Endpoint* endpoint) {
  if (endpoint->fd >= 0) close(endpoint->fd);
  if (endpoint->holdFd >= 0) close(endpoint->holdFd);
  endpoint->fd = endpoint->holdFd = -1;
}

}  // namespace ralvex::tester_tool

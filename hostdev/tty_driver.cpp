#include "hostdev/tty_driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "hostdev/tty_file.h"
#include "hostdev/tty_line.h"

namespace ralvex::hostdev {
namespace {

uint32_t OpenError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

TtyDriver::TtyDriver(std::string ttyPath, PortIdentity identity, std::string latencyAttribute)
    : ttyPath_(std::move(ttyPath)),
      identity_(std::move(identity)),
      latencyAttribute_(std::move(latencyAttribute)) {}

uint32_t TtyDriver::Open(bool exclusive, std::unique_ptr<posix::DeviceFile>* file) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Within the process the same rule as between programs: an exclusive open stands alone.
  if (openExclusive_ || (exclusive && openFiles_ > 0)) return ERROR_ACCESS_DENIED;
  const int fd = ::open(ttyPath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenError(errno);
  if (!::isatty(fd)) {
    ::close(fd);
    return ERROR_FILE_NOT_FOUND;
  }
  if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return OpenError(error);
  }
  if (exclusive && ::ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    return ERROR_ACCESS_DENIED;
  }
  if (uint32_t error = MakeTtyRaw(fd)) {
    if (exclusive) ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return error;
  }
  ++openFiles_;
  openExclusive_ = exclusive;
  std::weak_ptr<TtyDriver> self = weak_from_this();
  *file = std::make_unique<TtyFile>(fd, identity_, latencyAttribute_, [self, exclusive] {
    if (auto driver = self.lock()) {
      std::lock_guard<std::mutex> closed(driver->mutex_);
      --driver->openFiles_;
      if (exclusive) driver->openExclusive_ = false;
    }
  });
  return 0;
}

}  // namespace ralvex::hostdev

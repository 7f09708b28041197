// The driver object of one bridge port: opens its tty for the platform, one program at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "hostdev/host_identity.h"
#include "platform/posix/devices.h"

namespace ralvex::hostdev {

class TtyDriver final : public posix::DeviceDriver, public std::enable_shared_from_this<TtyDriver> {
 public:
  // `ttyPath` is the node to open (a symbolic link is followed); `latencyAttribute` the port's
  // sysfs latency file, or empty.
  TtyDriver(std::string ttyPath, PortIdentity identity, std::string latencyAttribute);

  // Opens the tty without making it the controlling terminal, takes an advisory lock on it (a
  // shared one for a shared open) and, for an exclusive open, TIOCEXCL, so that another program
  // or another Ralvex is refused; puts the line in binary mode. ERROR_ACCESS_DENIED when the tty
  // is in use or the user may not open it, ERROR_FILE_NOT_FOUND when it is gone.
  uint32_t Open(bool exclusive, std::unique_ptr<posix::DeviceFile>* file) override;

  const PortIdentity& Identity() const { return identity_; }

 private:
  const std::string ttyPath_;
  const PortIdentity identity_;
  const std::string latencyAttribute_;

  std::mutex mutex_;
  int openFiles_ = 0;
  bool openExclusive_ = false;
};

}  // namespace ralvex::hostdev

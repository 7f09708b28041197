// The real-device path without hardware: a fake sysfs tree whose tty is a pseudo-terminal served
// by ralvex-tester in a process of its own.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/hostdev/fake_sysfs.h"

#ifndef RALVEX_TESTER_BINARY
#error "RALVEX_TESTER_BINARY must name the tester program"
#endif

namespace ralvex::e2e {

// ralvex-tester as a child process, serving a new pseudo-terminal.
class TesterProcess {
 public:
  TesterProcess() = default;
  ~TesterProcess() { Stop(); }
  TesterProcess(const TesterProcess&) = delete;
  TesterProcess& operator=(const TesterProcess&) = delete;

  // Starts it with `args` and waits for the path it prints. False when it does not come up.
  bool Start(const std::vector<std::string>& args);
  // Ends it (SIGKILL: as abrupt as a cable pulled) and waits for it.
  void Kill();
  void Stop();
  pid_t Pid() const { return pid_; }
  const std::string& PtyPath() const { return ptyPath_; }

 private:
  pid_t pid_ = -1;
  std::string ptyPath_;
};

// Runs ralvex-tester to its end (for arguments it refuses): exit code and standard error.
struct TesterOutcome {
  int code = -1;
  std::string err;
};
TesterOutcome RunTesterToEnd(const std::vector<std::string>& args);

}  // namespace ralvex::e2e

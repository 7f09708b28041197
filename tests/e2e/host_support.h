#pragma once
// The real-device path without hardware: a fake sysfs tree whose tty is a pseudo-terminal served
// by ralvex-tester in a process of its own.

#include <sys/types.h>

#include <string>
#include <vector>

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

// One USB bridge port as sysfs shows it: the device folder with its attributes, the interface,
// the tty below it and the class/tty link.
struct FakeUsbPort {
  std::string tty = "ttyUSB0";
  std::string usbName = "1-2";  // the device's folder name: bus-path
  std::string vid = "0403";
  std::string pid = "6001";
  std::string release = "0600";
  std::string product = "PD Tester";
  std::string serial = "KORA4VLH7Y";
  std::string busnum = "1";
  std::string devpath = "2";
  int interfaceNumber = 0;
};
void AddFakeUsbPort(const std::string& sysfsRoot, const FakeUsbPort& port);
// Takes the port out again, as an unplug does.
void RemoveFakeUsbPort(const std::string& sysfsRoot, const FakeUsbPort& port);

}  // namespace ralvex::e2e

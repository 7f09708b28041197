#include "host_support.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace ralvex::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int START_LIMIT_MS = 10000;

void WriteAttribute(const fs::path& folder, const std::string& name, const std::string& value) {
  std::ofstream(folder / name) << value << "\n";
}

fs::path UsbDeviceFolder(const std::string& sysfsRoot, const FakeUsbPort& port) {
  return fs::path(sysfsRoot) / "devices/pci0000:00/0000:00:14.0/usb1" / port.usbName;
}

}  // namespace

bool TesterProcess::Start(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return false;
  std::vector<std::string> store = {RALVEX_TESTER_BINARY};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(START_LIMIT_MS);
  while (pid_ > 0 && line.find('\n') == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd fd = {out[0], POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t end = line.find('\n');
  if (end == std::string::npos) {
    Stop();
    return false;
  }
  ptyPath_ = line.substr(0, end);
  return true;
}

void TesterProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void TesterProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void AddFakeUsbPort(const std::string& sysfsRoot, const FakeUsbPort& port) {
  const fs::path device = UsbDeviceFolder(sysfsRoot, port);
  const std::string interfaceName = port.usbName + ":1." + std::to_string(port.interfaceNumber);
  const fs::path interface = device / interfaceName;
  const fs::path ttyFolder = interface / port.tty / "tty" / port.tty;
  fs::create_directories(ttyFolder);
  fs::create_directories(fs::path(sysfsRoot) / "class/tty");
  WriteAttribute(device, "idVendor", port.vid);
  WriteAttribute(device, "idProduct", port.pid);
  WriteAttribute(device, "bcdDevice", port.release);
  WriteAttribute(device, "product", port.product);
  if (!port.serial.empty()) WriteAttribute(device, "serial", port.serial);
  WriteAttribute(device, "busnum", port.busnum);
  WriteAttribute(device, "devpath", port.devpath);
  WriteAttribute(device, "speed", "12");
  char number[3];
  std::snprintf(number, sizeof number, "%02x", port.interfaceNumber);
  WriteAttribute(interface, "bInterfaceNumber", number);
  // Relative links, as the kernel makes them.
  fs::create_directory_symlink("../../../" + port.tty, ttyFolder / "device");
  fs::create_directory_symlink(fs::relative(ttyFolder, fs::path(sysfsRoot) / "class/tty"),
                               fs::path(sysfsRoot) / "class/tty" / port.tty);
}

void RemoveFakeUsbPort(const std::string& sysfsRoot, const FakeUsbPort& port) {
  std::error_code ignored;
  fs::remove(fs::path(sysfsRoot) / "class/tty" / port.tty, ignored);
  fs::remove_all(UsbDeviceFolder(sysfsRoot, port), ignored);
}

}  // namespace ralvex::e2e

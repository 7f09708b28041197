// A bridge port as sysfs shows it, built in a folder: the USB device folder with its attribute
// files, the interface, the tty below it and the class/tty link, all links relative as the
// kernel makes them.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace ralvex::hostdev_test {

struct FakeUsbPort {
  std::string tty = "ttyUSB0";
  std::string usbName = "1-2";  // the device's folder name: bus-path
  std::string vid = "0403";
  std::string pid = "6001";
  std::string release = "0600";
  std::string product = "PD Tester";
  std::string serial = "KORA4VLH7Y";  // empty: no serial attribute
  std::string busnum = "1";
  std::string devpath = "2";
  std::string speed = "12";
  int interfaceNumber = 0;
  bool latencyAttribute = false;  // the port folder offers latency_timer (holding 16)
};

inline std::filesystem::path FakeUsbDeviceFolder(const std::string& sysfsRoot,
                                                 const FakeUsbPort& port) {
  return std::filesystem::path(sysfsRoot) / "devices/pci0000:00/0000:00:14.0/usb1" / port.usbName;
}

inline void AddFakeUsbPort(const std::string& sysfsRoot, const FakeUsbPort& port) {
  namespace fs = std::filesystem;
  auto write = [](const fs::path& folder, const std::string& name, const std::string& value) {
    std::ofstream(folder / name) << value << "\n";
  };
  const fs::path device = FakeUsbDeviceFolder(sysfsRoot, port);
  const fs::path interface = device / (port.usbName + ":1." + std::to_string(port.interfaceNumber));
  const fs::path portFolder = interface / port.tty;
  const fs::path ttyFolder = portFolder / "tty" / port.tty;
  const fs::path classFolder = fs::path(sysfsRoot) / "class/tty";
  fs::create_directories(ttyFolder);
  fs::create_directories(classFolder);
  write(device, "idVendor", port.vid);
  write(device, "idProduct", port.pid);
  write(device, "bcdDevice", port.release);
  write(device, "product", port.product);
  if (!port.serial.empty()) write(device, "serial", port.serial);
  write(device, "busnum", port.busnum);
  write(device, "devpath", port.devpath);
  write(device, "speed", port.speed);
  char number[8];
  std::snprintf(number, sizeof number, "%02x", port.interfaceNumber);
  write(interface, "bInterfaceNumber", number);
  if (port.latencyAttribute) write(portFolder, "latency_timer", "16");
  fs::create_directory_symlink("../../../" + port.tty, ttyFolder / "device");
  fs::create_directory_symlink(fs::relative(ttyFolder, classFolder), classFolder / port.tty);
}

// Takes the port's tty out again, and the device folder with it: an unplug.
inline void RemoveFakeUsbPort(const std::string& sysfsRoot, const FakeUsbPort& port) {
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(sysfsRoot) / "class/tty" / port.tty, ignored);
  std::filesystem::remove_all(FakeUsbDeviceFolder(sysfsRoot, port), ignored);
}

}  // namespace ralvex::hostdev_test

// One bridge port on a pseudo-terminal: the test holds the far end (the master) and the access
// layer finds the near end through a fake sysfs tree and a /dev folder with a link to it.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "hostdev/host_bus.h"
#include "ralvex/bridge.h"
#include "tests/hostdev/fake_sysfs.h"

namespace ralvex::hostdev_test {

class PtyPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ralvex-pty-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    char name[128] = {};
    int side = -1;
    ASSERT_EQ(openpty(&master_, &side, name, nullptr, nullptr), 0);
    // The near end stays open here so that the master's reads work between the layer's opens.
    near_ = side;
    std::filesystem::create_directories(dir_ + "/dev");
    std::filesystem::create_symlink(name, dir_ + "/dev/" + port_.tty);
    AddFakeUsbPort(dir_ + "/sys", port_);
    hostdev::HostBusOptions options;
    options.sysfsRoot = dir_ + "/sys";
    options.devRoot = dir_ + "/dev";
    hostdev::AttachHostBus(options);
  }

  void TearDown() override {
    if (handle_ != nullptr) FT_Close(handle_);
    hostdev::DetachHostBus();
    if (master_ >= 0) close(master_);
    if (near_ >= 0) close(near_);
    std::filesystem::remove_all(dir_);
  }

  // Opens the port synchronously (FT_Open by index).
  void OpenPort() { ASSERT_EQ(FT_Open(0, &handle_), FT_OK); }

  // Bytes from the far end towards the host.
  void Send(const std::string& bytes) const {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  std::string dir_;
  FakeUsbPort port_;
  int master_ = -1;
  int near_ = -1;
  FT_HANDLE handle_ = nullptr;
};

}  // namespace ralvex::hostdev_test

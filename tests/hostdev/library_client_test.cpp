// A C program linked against the shared library, run with RALVEX_BENCH unset against a
// pseudo-terminal port: the library attaches the real-device driver when it is loaded.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/hostdev/fake_sysfs.h"

#ifdef RALVEX_LIBRARY_CLIENT

extern char** environ;

namespace ralvex::hostdev_test {
namespace {

constexpr int CLIENT_LIMIT_MS = 20000;

TEST(LibraryClient, ListsOpensConfiguresWritesAndReads) {
  std::string dir = (std::filesystem::temp_directory_path() / "ralvex-client-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  int master = -1, side = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &side, name, nullptr, nullptr), 0);
  FakeUsbPort port;
  AddFakeUsbPort(dir + "/sys", port);
  std::filesystem::create_directories(dir + "/dev");
  std::filesystem::create_symlink(name, dir + "/dev/" + port.tty);

  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "RALVEX_", 7) != 0) envStore.emplace_back(*e);
  }
  envStore.push_back("RALVEX_SYSFS=" + dir + "/sys");
  envStore.push_back("RALVEX_DEV=" + dir + "/dev");
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = RALVEX_LIBRARY_CLIENT;
  char* argv[] = {program.data(), nullptr};
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execve(argv[0], argv, envp.data());
    _exit(127);
  }
  close(out[1]);

  // The far end: answers the ping once it has all of it.
  std::string heard;
  for (int waited = 0; heard.size() < 5 && waited < CLIENT_LIMIT_MS; waited += 50) {
    pollfd fd = {master, POLLIN, 0};
    if (poll(&fd, 1, 50) > 0) {
      char buffer[16];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) heard.append(buffer, static_cast<size_t>(n));
    }
  }
  EXPECT_EQ(heard, "ping\n");
  ASSERT_EQ(write(master, "pong\n", 5), 5);

  std::string printed;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0)
    printed.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;
  EXPECT_EQ(printed, "serial=KORA4VLH7Y read=pong\n");
  close(master);
  close(side);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ralvex::hostdev_test

#endif

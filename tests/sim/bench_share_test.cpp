// One bench across processes: a device open in one process is held open for the others, the
// kernel drops a dead holder's hold, and no process's change of the state file is lost.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "sim/bridge_device.h"
#include "sim/tester/state_file.h"
#include "sim/tester/tester_state.h"
#include "tests/sim/scratch_dir.h"

namespace ralvex::sim {
namespace {

namespace fs = std::filesystem;

class BenchShare : public ::testing::Test {
 protected:
  testing::ScratchDir dir_{"ralvex_share_"};
  const std::string state_ = dir_.File("bench.state.toml");
};

// Each hold opens the file on its own, so two holds in one process meet as two processes do.
TEST_F(BenchShare, OneHolderPerDeviceUntilItLetsGo) {
  auto first = MakeDeviceHold(state_, "KORA0001");
  auto second = MakeDeviceHold(state_, "KORA0001");
  auto other = MakeDeviceHold(state_, "KORA0002");
  EXPECT_TRUE(first->Acquire());
  EXPECT_FALSE(second->Acquire());
  EXPECT_FALSE(first->Acquire());  // a second open by the holder is refused too
  EXPECT_TRUE(other->Acquire());   // another device of the bench is free
  first->Release();
  EXPECT_TRUE(second->Acquire());
  EXPECT_FALSE(first->Acquire());
  second.reset();  // going away lets go
  EXPECT_TRUE(first->Acquire());
}

TEST_F(BenchShare, StateFileThatCannotBeWrittenCoordinatesNothing) {
  const std::string missing = dir_.File("no-folder/state.toml");
  auto first = MakeDeviceHold(missing, "KORA0001");
  auto second = MakeDeviceHold(missing, "KORA0001");
  EXPECT_TRUE(first->Acquire());
  EXPECT_TRUE(second->Acquire());
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(BenchShare, DeviceHeldByAnotherOpenerIsRefusedAsHeldOpen) {
  BridgeDeviceConfig config;
  config.serial = "KORA0001";
  auto mine = std::make_shared<BridgeDevice>(config);
  auto theirs = std::make_shared<BridgeDevice>(config);  // the same device in another process
  mine->SetOpenGuard(MakeDeviceHold(state_, "KORA0001"));
  theirs->SetOpenGuard(MakeDeviceHold(state_, "KORA0001"));
  std::unique_ptr<posix::DeviceFile> file, refused, later;
  ASSERT_EQ(mine->Open(true, &file), 0u);
  EXPECT_EQ(theirs->Open(true, &refused), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  file->Close();
  ASSERT_EQ(theirs->Open(true, &later), 0u);
  EXPECT_EQ(mine->Open(true, &file), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  // A device that leaves the bus ends its session and lets go of the hold with it.
  theirs->Unplug();
  theirs->Replug();
  EXPECT_EQ(mine->Open(true, &file), 0u);
}

TEST_F(BenchShare, HolderThatDiesReleasesTheDevice) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto hold = MakeDeviceHold(state_, "KORA0001");
    const char held = hold->Acquire() ? 'y' : 'n';
    if (write(ready[1], &held, 1) != 1) _exit(2);
    pause();  // killed while holding
    _exit(0);
  }
  close(ready[1]);
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  close(ready[0]);
  EXPECT_EQ(held, 'y');
  auto hold = MakeDeviceHold(state_, "KORA0001");
  EXPECT_FALSE(hold->Acquire());
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(hold->Acquire());
}

// A change puts a whole new file in the state's place, so a process killed while writing leaves
// the previous state, never half a file: a reader that opened the old file still reads all of it.
TEST_F(BenchShare, ChangeReplacesTheStateWhole) {
  ASSERT_TRUE(ChangeStateText(state_, [](const std::string&) { return std::string("old = 1\n"); }));
  std::FILE* before = std::fopen(state_.c_str(), "r");
  ASSERT_NE(before, nullptr);
  ASSERT_TRUE(ChangeStateText(state_, [](const std::string& text) {
    EXPECT_EQ(text, "old = 1\n");
    return std::string("new = 2\n");
  }));
  char line[32] = {};
  EXPECT_NE(std::fgets(line, sizeof line, before), nullptr);
  EXPECT_STREQ(line, "old = 1\n");
  std::fclose(before);
  std::string now;
  ASSERT_TRUE(ReadStateText(state_, &now));
  EXPECT_EQ(now, "new = 2\n");
  EXPECT_FALSE(fs::exists(state_ + ".new"));
}

TEST_F(BenchShare, ConcurrentProcessesLoseNoChange) {
  // Each process saves its own tester many times over; without the lock between processes one
  // process's rewrite of the file drops another's entry.
  constexpr int PROCESSES = 6;
  constexpr int SAVES = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < PROCESSES; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TesterState state;
      bool saved = true;
      for (int i = 1; i <= SAVES; ++i) {
        state.load = static_cast<uint16_t>(p * 100 + i);
        saved = SaveTesterState(state_, "KORA" + std::to_string(p), state) && saved;
      }
      _exit(saved ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < PROCESSES; ++p) {
    TesterState state;
    bool live = false;
    ASSERT_TRUE(LoadTesterState(state_, "KORA" + std::to_string(p), &state, &live)) << p;
    EXPECT_EQ(state.load, p * 100 + SAVES) << p;
  }
}

}  // namespace
}  // namespace ralvex::sim

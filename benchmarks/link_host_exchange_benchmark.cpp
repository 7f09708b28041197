// The real-device path over a pseudo-terminal served by ralvex-tester: one GetStats exchange
// through the link, the access layer, the tty device file and the kernel's pseudo-terminal; and a
// whole `ralvex -s` run against it (RALVEX_BENCH unset, a fake sysfs tree).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "hostdev/host_bus.h"
#include "link/tester_link.h"
#include "tests/hostdev/fake_sysfs.h"

extern char** environ;

namespace {

// ralvex-tester on a new pseudo-terminal, with a fake sysfs tree and /dev folder naming it.
class HostRig {
 public:
  HostRig() {
    dir_ = (std::filesystem::temp_directory_path() / "ralvex-bench-XXXXXX").string();
    if (mkdtemp(dir_.data()) == nullptr) return;
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      execl(RALVEX_TESTER_BINARY, RALVEX_TESTER_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char buffer[256];
    pollfd fd = {out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&fd, 1, 5000) > 0) {
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    if (line.find('\n') == std::string::npos) return;
    ralvex::hostdev_test::FakeUsbPort port;
    ralvex::hostdev_test::AddFakeUsbPort(Sysfs(), port);
    std::filesystem::create_directories(Dev());
    std::filesystem::create_symlink(line.substr(0, line.find('\n')), Dev() + "/" + port.tty);
    ready_ = true;
  }
  ~HostRig() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  bool Ready() const { return ready_; }
  std::string Sysfs() const { return dir_ + "/sys"; }
  std::string Dev() const { return dir_ + "/dev"; }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

void BM_HostGetStatsExchange(benchmark::State& state) {
  HostRig rig;
  if (!rig.Ready()) {
    state.SkipWithError("ralvex-tester did not come up");
    return;
  }
  ralvex::hostdev::HostBusOptions options;
  options.sysfsRoot = rig.Sysfs();
  options.devRoot = rig.Dev();
  ralvex::hostdev::AttachHostBus(options);
  ralvex::link::TesterLink link;
  if (!link.Open("KORA4VLH7Y")) {
    ralvex::hostdev::DetachHostBus();
    state.SkipWithError("the tester did not open");
    return;
  }
  ralvex::link::StatsReply stats{};
  int64_t failures = 0;
  for (auto _ : state) {
    if (!link.GetStats(stats)) ++failures;
    benchmark::DoNotOptimize(stats);
  }
  link.Close();
  ralvex::hostdev::DetachHostBus();
  state.counters["failures"] = static_cast<double>(failures);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostGetStatsExchange)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_HostWholeStatsRun(benchmark::State& state) {
  HostRig rig;
  if (!rig.Ready()) {
    state.SkipWithError("ralvex-tester did not come up");
    return;
  }
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "RALVEX_", 7) != 0) envStore.emplace_back(*e);
  }
  envStore.push_back("RALVEX_SYSFS=" + rig.Sysfs());
  envStore.push_back("RALVEX_DEV=" + rig.Dev());
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = RALVEX_BINARY;
  std::string option = "-s";
  char* argv[] = {program.data(), option.data(), nullptr};
  int64_t failures = 0;
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      execve(argv[0], argv, envp.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_HostWholeStatsRun)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

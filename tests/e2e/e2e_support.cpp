#include "e2e_support.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/cli/expected_usage.h"

extern char** environ;

namespace ralvex::e2e {

namespace {

// Longest a single run may take: ten failed opens against a silent tester need about 12 s.
constexpr auto RUN_TIME_LIMIT = std::chrono::seconds(60);

void Drain(int fd, std::string* into, bool* open) {
  char buf[4096];
  const ssize_t n = read(fd, buf, sizeof buf);
  if (n > 0) {
    into->append(buf, static_cast<size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    *open = false;
  }
}

}  // namespace

std::string UsageText(const std::string& name) {
  return cli::test_support::ExpectedUsage(name);
}

std::string TesterDevice(const std::string& serial, const std::string& testerLines) {
  std::string table = "[[device]]\nserial = \"" + serial + "\"\npeer = \"tester\"\n";
  if (!testerLines.empty()) table += "[device.tester]\n" + testerLines;
  return table + "\n";
}

void E2eTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ralvex-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
}

void E2eTest::TearDown() {
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::string E2eTest::WriteBench(const std::string& body, const std::string& name) {
  const std::string path = dir_ + "/" + name;
  std::ofstream(path) << "state = \"state.toml\"\n\n" << body;
  return path;
}

std::string E2eTest::ReadyMade(const std::string& name) {
  std::ifstream in(std::string(RALVEX_BENCHES_DIR) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  const std::string body =
      std::regex_replace(text.str(), std::regex("state = \"[^\"]*\"\n"), std::string());
  return WriteBench(body, name);
}

std::string E2eTest::ReadState() const {
  std::ifstream in(StatePath());
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

RunResult E2eTest::Run(const std::vector<std::string>& args, const std::string& bench,
                       const std::vector<std::string>& env, unsigned asUser) const {
  std::vector<std::string> command = {RALVEX_BINARY};
  command.insert(command.end(), args.begin(), args.end());
  return RunCommand(command, bench, env, {}, asUser);
}

RunResult E2eTest::RunCommand(const std::vector<std::string>& command, const std::string& bench,
                              const std::vector<std::string>& env, const ChildSignals& signals,
                              unsigned asUser) const {
  RunResult result;
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }

  // Everything the child needs is prepared before fork: it only calls async-signal-safe functions.
  std::vector<std::string> argStore = command;
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "RALVEX_", 7) == 0 || std::strncmp(*e, "XDG_STATE_HOME=", 15) == 0) {
      continue;
    }
    envStore.emplace_back(*e);
  }
  if (!bench.empty()) envStore.push_back("RALVEX_BENCH=" + bench);
  bool sysfsGiven = false;
  for (const std::string& entry : env) sysfsGiven |= entry.rfind("RALVEX_SYSFS=", 0) == 0;
  if (bench.empty() && !sysfsGiven) envStore.push_back("RALVEX_SYSFS=" + dir_ + "/no-sysfs");
  envStore.insert(envStore.end(), env.begin(), env.end());
  envStore.push_back("XDG_STATE_HOME=" + dir_);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    close(outPipe[0]);
    close(outPipe[1]);
    close(errPipe[0]);
    close(errPipe[1]);
    if (asUser != 0 && (setgroups(0, nullptr) != 0 || setgid(asUser) != 0 || setuid(asUser) != 0)) {
      _exit(126);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    ADD_FAILURE() << "fork failed";
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + RUN_TIME_LIMIT;
  bool outOpen = true, errOpen = true;
  bool signalled = signals.send.empty() && !signals.then;
  while (outOpen || errOpen) {
    if (!signalled && static_cast<std::size_t>(std::count(result.out.begin(), result.out.end(),
                                                          '\n')) >= signals.afterLines) {
      for (int signal : signals.send) kill(pid, signal);
      if (signals.then) signals.then(pid);
      signalled = true;
    }
    pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0},
                     {errOpen ? errPipe[0] : -1, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
      Drain(outPipe[0], &result.out, &outOpen);
    if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
      Drain(errPipe[0], &result.err, &errOpen);
  }
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.code = WEXITSTATUS(status);
  EXPECT_FALSE(result.timedOut) << command[0] << " did not end within the limit";
  return result;
}

}  // namespace ralvex::e2e

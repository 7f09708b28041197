#include "host_support.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace ralvex::e2e {
namespace {

constexpr int START_LIMIT_MS = 10000;

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

TesterOutcome RunTesterToEnd(const std::vector<std::string>& args) {
  TesterOutcome outcome;
  int err[2];
  if (pipe(err) != 0) return outcome;
  std::vector<std::string> store = {RALVEX_TESTER_BINARY};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    close(err[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(err[1]);
  char buffer[512];
  ssize_t n;
  while ((n = read(err[0], buffer, sizeof buffer)) > 0) {
    outcome.err.append(buffer, static_cast<size_t>(n));
  }
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) outcome.code = WEXITSTATUS(status);
  return outcome;
}

}  // namespace ralvex::e2e

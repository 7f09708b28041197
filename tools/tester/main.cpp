// ralvex-tester: serves the emulated tester on a tty, or on a new pseudo-terminal whose path it
// prints first, until a signal ends it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/tester/tester_peer.h"
#include "tools/tester/fd_serial_line.h"
#include "tools/tester/tester_options.h"
#include "tools/tester/tty_endpoint.h"

namespace {

// The key the tester's settings are kept under in the state file.
constexpr const char* STATE_KEY = "ralvex-tester";

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 0;
  ssize_t ignored = write(signalPipe[1], &byte, 1);
  (void)ignored;
}

bool InstallSignals() {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return true;
}

// Feeds the host's bytes to the tester until a signal comes or the line fails.
void Serve(int fd, ralvex::sim::SerialPeer& peer) {
  uint8_t buffer[512];
  for (;;) {
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    if (fds[1].revents & POLLIN) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        peer.OnHostBytes(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    }
    if (fds[1].revents & (POLLERR | POLLNVAL)) return;
    if (fds[1].revents & POLLHUP) {
      // A tty's far end hung up; wait for the signal rather than spin.
      pollfd sig = {signalPipe[0], POLLIN, 0};
      poll(&sig, 1, -1);
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ralvex::tester_tool;
  TesterOptions options;
  std::string error;
  const int parsed = ParseTesterOptions(argc, argv, &options, stdout, stderr);
  if (parsed != TESTER_SERVE) return parsed;
  toml::table table;
  const bool haveConfig = !options.configPath.empty();
  if (haveConfig && !LoadTesterTable(options.configPath, &table, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  uint32_t line = 0;
  std::unique_ptr<ralvex::sim::SerialPeer> peer = ralvex::sim::MakeTesterPeer(
      haveConfig ? &table : nullptr, STATE_KEY, options.statePath, &error, &line);
  if (!peer) {
    std::fprintf(stderr, "%s\n", ConfigError(options.configPath, error, line).c_str());
    return 1;
  }
  if (!InstallSignals()) {
    std::perror("ralvex-tester");
    return 1;
  }
  Endpoint endpoint;
  const bool opened = options.tty.empty() ? OpenPseudoTerminal(&endpoint, &error)
                                          : OpenTty(options.tty, &endpoint, &error);
  if (!opened) {
    std::fprintf(stderr, "ralvex-tester: %s\n", error.c_str());
    return 1;
  }
  fcntl(endpoint.fd, F_SETFL, fcntl(endpoint.fd, F_GETFL) | O_NONBLOCK);
  if (options.tty.empty()) {
    std::printf("%s\n", endpoint.hostPath.c_str());
    std::fflush(stdout);
  }
  {
    FdSerialLine line(endpoint.fd);
    peer->Attach(&line);
    Serve(endpoint.fd, *peer);
    peer->Detach();
  }
  CloseEndpoint(&endpoint);
  return 0;
}
